///////////////////////////////////////////////////////////////////////////////
// CConfigXML implementation
///////////////////////////////////////////////////////////////////////////////

#include "config/CConfigXML.h"

#include <wx/thread.h>
#include <wx/utils.h>

#include <tinyxml.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <libgen.h>
#include <sys/stat.h>
#include <unistd.h>

// ----------------------------------------------------------------------------
// globals
// ----------------------------------------------------------------------------

// Serialises every load and save within the process; other programs of the
// package are not bound by it (they are what the load retries are for).
static wxMutex s_configMutex;

namespace
{

// ----------------------------------------------------------------------------
// value texts: "%d", "(%d,%d)" and "(%lf,%lf)", independent of the C locale
// ----------------------------------------------------------------------------

const char* SkipBlanks(const char* p)
{
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    return p;
}

// Reads a number the way "%d" / "%lf" do: leading blanks skipped, optional
// sign, the number, anything after it ignored. Returns the position after
// the number, or null when there is none. Out-of-range numbers count as no
// number rather than as some wrapped value.
template <typename T>
const char* ScanNumber(const char* text, T* value)
{
    const char* p = SkipBlanks(text);
    if (*p == '+' && p[1] != '-')
        ++p;
    const char* end = p + std::strlen(p);
    T parsed{};
    std::from_chars_result r = std::from_chars(p, end, parsed);
    if (r.ec != std::errc())
        return nullptr;
    *value = parsed;
    return r.ptr;
}

// "(a,b)": each value is stored only if its number was read.
template <typename T>
void ScanPair(const char* text, T* a, T* b)
{
    if (*text != '(')
        return;
    const char* p = ScanNumber(text + 1, a);
    if (!p || *p != ',')
        return;
    ScanNumber(p + 1, b);
}

std::string FormatReal(double value)
{
    char buf[512];
    std::to_chars_result r =
        std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::fixed, 6);
    return std::string(buf, r.ptr);
}

// ----------------------------------------------------------------------------
// nesting depth: how deep TinyXML's recursive parser would go
// ----------------------------------------------------------------------------

// TinyXML 2.6 parses a nested element with a recursive call per level (and
// prints and frees the tree the same way): a document nested some ten
// thousand levels deep overflows the stack. This walks the text the way
// TiXmlDocument::Parse does, with the parser's own helpers and its own
// parsers for everything that is not an element (declarations, comments,
// CDATA, text, attributes), so it takes the same path through the text and
// stops where the parser would fail; only the element levels are kept on an
// explicit stack instead of the call stack. Deriving from TiXmlBase gives
// access to its protected static helpers; the class is never instantiated.
class NestingScanner : public TiXmlBase
{
public:
    static int Depth(const char* p, int stopAbove)
    {
        // TiXmlDocument::Parse with TIXML_DEFAULT_ENCODING.
        if (!p || !*p)
            return 0;
        TiXmlEncoding encoding = TIXML_DEFAULT_ENCODING;
        const unsigned char* pU = reinterpret_cast<const unsigned char*>(p);
        if (encoding == TIXML_ENCODING_UNKNOWN && pU[0] == 0xefU && pU[1] == 0xbbU &&
            pU[2] == 0xbfU)
            encoding = TIXML_ENCODING_UTF8;

        int deepest = 0;
        p = SkipWhiteSpace(p, encoding);
        while (p && *p)
        {
            const char* at = SkipWhiteSpace(p, encoding);
            if (!at || *at != '<')
                break;
            const Kind kind = Identify(at, encoding);
            switch (kind)
            {
            case Kind::Element:
                p = Element(p, encoding, stopAbove, &deepest);
                if (deepest > stopAbove)
                    return deepest;
                break;
            case Kind::Declaration:
            {
                TiXmlDeclaration declaration;
                p = declaration.Parse(p, nullptr, encoding);
                // The first declaration of a document without a byte order
                // mark decides the encoding of the rest.
                if (encoding == TIXML_ENCODING_UNKNOWN)
                {
                    const char* name = declaration.Encoding();
                    if (*name == 0 || StringEqual(name, "UTF-8", true, TIXML_ENCODING_UNKNOWN) ||
                        StringEqual(name, "UTF8", true, TIXML_ENCODING_UNKNOWN))
                        encoding = TIXML_ENCODING_UTF8;
                    else
                        encoding = TIXML_ENCODING_LEGACY;
                }
                break;
            }
            default:
                p = Leaf(p, kind, encoding);
                break;
            }
            p = SkipWhiteSpace(p, encoding);
        }
        return deepest;
    }

private:
    enum class Kind { Declaration, Comment, CData, Unknown, Element };

    // TiXmlNode::Identify, for p at a '<'.
    static Kind Identify(const char* p, TiXmlEncoding encoding)
    {
        if (StringEqual(p, "<?xml", true, encoding))
            return Kind::Declaration;
        if (StringEqual(p, "<!--", false, encoding))
            return Kind::Comment;
        if (StringEqual(p, "<![CDATA[", false, encoding))
            return Kind::CData;
        if (StringEqual(p, "<!", false, encoding))
            return Kind::Unknown;
        if (IsAlpha(static_cast<unsigned char>(p[1]), encoding) || p[1] == '_')
            return Kind::Element;
        return Kind::Unknown;
    }

    // Everything but elements, by TinyXML's own parsers: none of them nests.
    static const char* Leaf(const char* p, Kind kind, TiXmlEncoding encoding)
    {
        switch (kind)
        {
        case Kind::Declaration:
        {
            TiXmlDeclaration node;
            return node.Parse(p, nullptr, encoding);
        }
        case Kind::Comment:
        {
            TiXmlComment node;
            return node.Parse(p, nullptr, encoding);
        }
        case Kind::CData:
        {
            TiXmlText node("");
            node.SetCDATA(true);
            return node.Parse(p, nullptr, encoding);
        }
        default:
        {
            TiXmlUnknown node;
            return node.Parse(p, nullptr, encoding);
        }
        }
    }

    // TiXmlElement::Parse and TiXmlElement::ReadValue, with the elements
    // being parsed on a stack of their end tags. Returns what the outermost
    // TiXmlElement::Parse would return; null where it fails.
    static const char* Element(const char* p, TiXmlEncoding encoding, int stopAbove,
                               int* deepest)
    {
        std::vector<std::string> endTags;
        for (;;)
        {
            // The start tag of an element (TiXmlElement::Parse): a level
            // from the moment the parser is called, whether or not it then
            // reads a name.
            endTags.emplace_back();
            if (static_cast<int>(endTags.size()) > *deepest)
            {
                *deepest = static_cast<int>(endTags.size());
                if (*deepest > stopAbove)
                    return nullptr;
            }
            p = SkipWhiteSpace(p, encoding);
            if (!p || !*p || *p != '<')
                return nullptr;
            p = SkipWhiteSpace(p + 1, encoding);
            std::string name;
            p = ReadName(p, &name, encoding);
            if (!p || !*p)
                return nullptr;
            endTags.back() = "</" + name;

            bool hasContent = false;
            std::unordered_set<std::string> attributes;
            for (;;)
            {
                p = SkipWhiteSpace(p, encoding);
                if (!p || !*p)
                    return nullptr;
                if (*p == '/')
                {
                    ++p;
                    if (*p != '>')
                        return nullptr;
                    ++p;
                    break;
                }
                if (*p == '>')
                {
                    ++p;
                    hasContent = true;
                    break;
                }
                TiXmlAttribute attribute;
                p = attribute.Parse(p, nullptr, encoding);
                if (!p || !*p || !attributes.insert(attribute.NameTStr()).second)
                    return nullptr;
            }

            // The content (TiXmlElement::ReadValue) up to an end tag, of
            // this element and, after each end tag, of its parent; a child
            // element's start tag goes round the outer loop.
            bool childStarts = false;
            if (!hasContent)
            {
                endTags.pop_back();
                if (endTags.empty())
                    return p;
            }
            const char* withWhiteSpace = p;
            p = SkipWhiteSpace(p, encoding);
            while (!childStarts)
            {
                if (!p || !*p)
                    return nullptr;
                if (*p != '<')
                {
                    TiXmlText text("");
                    p = text.Parse(IsWhiteSpaceCondensed() ? p : withWhiteSpace, nullptr,
                                   encoding);
                }
                else if (StringEqual(p, "</", false, encoding))
                {
                    const std::string& endTag = endTags.back();
                    if (!StringEqual(p, endTag.c_str(), false, encoding))
                        return nullptr;
                    p = SkipWhiteSpace(p + endTag.size(), encoding);
                    if (!p || *p != '>')
                        return nullptr;
                    ++p;
                    endTags.pop_back();
                    if (endTags.empty())
                        return p;
                }
                else
                {
                    Kind kind = Identify(p, encoding);
                    if (kind == Kind::Element)
                    {
                        childStarts = true;
                        continue;
                    }
                    p = Leaf(p, kind, encoding);
                }
                withWhiteSpace = p;
                p = SkipWhiteSpace(p, encoding);
            }
        }
    }
};

// ----------------------------------------------------------------------------
// loading: the file's text, checked, then parsed by TinyXML
// ----------------------------------------------------------------------------

// TinyXML's UTF-8 text reader can step up to three bytes past the end of the
// text when the text ends inside a multi-byte character, and then reads on
// beyond its buffer; these NUL bytes after the text stop it.
const size_t TEXT_PADDING = 8;

// What TiXmlDocument::LoadFile parses of a file's bytes: "\r\n" and lone
// "\r" turned into "\n", the text ending at the first NUL byte.
std::string NormalisedText(const std::string& raw)
{
    std::string text;
    text.reserve(raw.size() + TEXT_PADDING);
    for (size_t i = 0; i < raw.size() && raw[i] != '\0'; ++i)
    {
        if (raw[i] == '\r')
        {
            text.push_back('\n');
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
        }
        else
        {
            text.push_back(raw[i]);
        }
    }
    return text;
}

// Reads the whole file in one pass. Refuses what is not a regular file (a
// folder would make TinyXML's own loading ask for an impossible amount of
// memory and end the program, a pipe would block) and files larger than
// maxBytes.
bool ReadWholeFile(const std::string& path, long maxBytes, std::string* raw)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > maxBytes)
    {
        close(fd);
        return false;
    }

    raw->clear();
    raw->reserve(static_cast<size_t>(st.st_size));
    char chunk[65536];
    for (;;)
    {
        ssize_t n = read(fd, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || raw->size() + static_cast<size_t>(n) > static_cast<size_t>(maxBytes))
        {
            close(fd);
            return false;
        }
        if (n == 0)
            break;
        raw->append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

// Whether TinyXML may parse text without nesting deeper than maxNesting.
bool NestingFits(const std::string& text, int maxNesting)
{
    // Each level starts at a '<' of its own: a text with few of them needs
    // no closer look.
    if (std::count(text.begin(), text.end(), '<') <= maxNesting)
        return true;
    std::string padded(text);
    padded.append(TEXT_PADDING, '\0');
    return NestingScanner::Depth(padded.c_str(), maxNesting) <= maxNesting;
}

// Parses a file's bytes into doc as TiXmlDocument::LoadFile would, unless
// they nest too deep. True when TinyXML reports no error.
bool ParseFileBytes(const std::string& raw, TiXmlDocument* doc)
{
    std::string text = NormalisedText(raw);
    if (!NestingFits(text, CConfigXML::MAX_NESTING))
        return false;
    text.append(TEXT_PADDING, '\0');
    doc->Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    return !doc->Error();
}

// One attempt of Load: true when the file was read and parsed into doc.
bool LoadDocument(const std::string& path, TiXmlDocument* doc)
{
    std::string raw;
    if (path.empty() || !ReadWholeFile(path, CConfigXML::MAX_FILE_BYTES, &raw))
        return false;
    doc->SetValue(path.c_str());
    // A file with no root element yet is one that another program of the
    // package has only begun to write: unreadable for now, never saved back.
    return ParseFileBytes(raw, doc) && doc->RootElement() != nullptr;
}

// ----------------------------------------------------------------------------
// safe save: temporary file in the same folder, fsync, rename over the target
// ----------------------------------------------------------------------------

std::string ResolvedTarget(const std::string& path)
{
    // Replace what a symbolic link points at, never the link itself.
    char* real = realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string target(real);
    std::free(real);
    return target;
}

std::string DirectoryOf(const std::string& path)
{
    std::string copy(path);
    return dirname(&copy[0]);
}

void SyncDirectory(const std::string& dir)
{
    int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
    {
        fsync(fd);
        close(fd);
    }
}

// The bytes TiXmlDocument::SaveFile writes for doc.
bool Rendered(const TiXmlDocument& doc, std::string* bytes)
{
    char* buf = nullptr;
    size_t size = 0;
    FILE* mem = open_memstream(&buf, &size);
    if (!mem)
        return false;
    bool ok = doc.SaveFile(mem);
    ok = (std::fclose(mem) == 0) && ok;
    if (ok)
        bytes->assign(buf, size);
    std::free(buf);
    return ok;
}

// TinyXML writes some documents that it cannot read back as they were: an
// attribute name that is not an XML name (the indexed name "0" of an empty
// prefix), a declaration value holding a quote ("&quot;" in the file it came
// from; the rest of the declaration then swallows or cuts off the root
// element). True when bytes load, within the store's limits, into a document
// that TinyXML writes as the same bytes.
bool LoadsBackAsWritten(const std::string& bytes)
{
    if (bytes.size() > static_cast<size_t>(CConfigXML::MAX_FILE_BYTES))
        return false;
    TiXmlDocument check;
    std::string again;
    return ParseFileBytes(bytes, &check) && Rendered(check, &again) && again == bytes;
}

// Writes the document so that the file at path is, at every moment, either
// the old file or the complete new one. On any failure the old file stays
// as it was and the temporary file is removed. A document that would not
// load back as written is not written at all.
bool WriteDocumentSafely(const TiXmlDocument& doc, const std::string& path)
{
    std::string bytes;
    if (!Rendered(doc, &bytes) || !LoadsBackAsWritten(bytes))
        return false;

    const std::string target = ResolvedTarget(path);
    const std::string dir = DirectoryOf(target);

    // A file we may not write (read-only permission bits, immutable, read-only
    // file system) stays as it is, as it would with a rewrite in place; the
    // folder being writable does not make the file ours to replace.
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT)
        return false;

    std::string tmpName = target + ".XXXXXX";

    int fd = mkostemp(&tmpName[0], O_CLOEXEC);
    if (fd < 0)
        return false;

    struct stat original;
    if (stat(target.c_str(), &original) == 0)
    {
        fchmod(fd, original.st_mode & 07777);
        if (fchown(fd, original.st_uid, original.st_gid) != 0)
        {
            // Only root may give the file away; keeping our own is fine.
        }
    }
    else
    {
        mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, 0666 & ~mask);
    }

    FILE* fp = fdopen(fd, "w");
    if (!fp)
    {
        close(fd);
        unlink(tmpName.c_str());
        return false;
    }

    bool ok = bytes.empty() || std::fwrite(bytes.data(), bytes.size(), 1, fp) == 1;
    ok = (std::fflush(fp) == 0) && ok && !std::ferror(fp);
    ok = (fsync(fileno(fp)) == 0) && ok;
    ok = (std::fclose(fp) == 0) && ok;
    if (!ok || std::rename(tmpName.c_str(), target.c_str()) != 0)
    {
        unlink(tmpName.c_str());
        return false;
    }
    SyncDirectory(dir);
    return true;
}

} // anonymous namespace

// ============================================================================
// CConfigXML
// ============================================================================

CConfigXML::CConfigXML()
    : CConfigXML(LOAD_ATTEMPTS, LOAD_PAUSE_MS)
{
}

CConfigXML::CConfigXML(int loadAttempts, int loadPauseMs)
    : m_loaded(false),
      m_loadAttempts(loadAttempts),
      m_loadPauseMs(loadPauseMs)
{
}

CConfigXML::~CConfigXML() = default;

int CConfigXML::NestingDepth(const std::string& text, int stopAbove)
{
    std::string padded(text);
    padded.append(TEXT_PADDING, '\0');
    return NestingScanner::Depth(padded.c_str(), stopAbove);
}

int CConfigXML::Load(const char* path)
{
    wxMutexLocker lock(s_configMutex);

    // A store that loaded before forgets that document: if this load fails,
    // Save must not write the empty document over the file.
    m_loaded = false;
    m_doc.reset(new TiXmlDocument);
    m_path = path ? path : "";
    for (int attempt = 0; attempt < m_loadAttempts; ++attempt)
    {
        // Another program of the package may be halfway through rewriting
        // the file: an unparseable file is simply tried again a bit later.
        if (LoadDocument(m_path, m_doc.get()))
        {
            m_loaded = true;
            return 1;
        }
        m_doc.reset(new TiXmlDocument);
        if (m_loadPauseMs > 0)
            wxMilliSleep(m_loadPauseMs);
    }
    return 0;
}

void CConfigXML::Save()
{
    wxMutexLocker lock(s_configMutex);

    if (m_doc && m_loaded)
        WriteDocumentSafely(*m_doc, m_path);
}

void CConfigXML::Close()
{
    m_loaded = false;
    m_doc.reset();
}

TiXmlElement* CConfigXML::FindNode(const char* section, const char* key) const
{
    if (!section || !key || !*section || !*key)
        return nullptr;
    if (!m_doc || !m_loaded)
        return nullptr;

    TiXmlElement* root = m_doc->FirstChildElement();
    if (!root)
        return nullptr;

    // Only the first section of that name counts, even when a later one
    // holds the key.
    TiXmlElement* sectionNode = root->FirstChildElement(section);
    if (!sectionNode)
        return nullptr;
    return sectionNode->FirstChildElement(key);
}

// ----------------------------------------------------------------------------
// texts
// ----------------------------------------------------------------------------

namespace
{

void CopyIfFits(const char* value, char* out, size_t outSize)
{
    if (!value || !out)
        return;
    size_t len = std::strlen(value);
    if (len < outSize)
        std::memcpy(out, value, len + 1);
}

} // anonymous namespace

int CConfigXML::GetText(const char* section, const char* key, char* out, size_t outSize)
{
    TiXmlElement* node = FindNode(section, key);
    if (!node)
        return 0;
    CopyIfFits(node->GetText(), out, outSize);
    return 1;
}

int CConfigXML::GetString(const char* section, const char* key, const char* attribute,
                          char* out, size_t outSize)
{
    TiXmlElement* node = FindNode(section, key);
    if (!node)
        return 0;
    if (attribute)
        CopyIfFits(node->Attribute(attribute), out, outSize);
    return 1;
}

int CConfigXML::SetString(const char* section, const char* key, const char* attribute,
                          const char* text)
{
    TiXmlElement* node = FindNode(section, key);
    if (!node)
        return 0;
    if (attribute && *attribute && text)
        node->SetAttribute(attribute, text);
    return 1;
}

// ----------------------------------------------------------------------------
// integers
// ----------------------------------------------------------------------------

int CConfigXML::GetInt(const char* section, const char* key, const char* attribute,
                       int* value, int defaultValue)
{
    TiXmlElement* node = FindNode(section, key);
    if (!node)
    {
        if (value)
            *value = defaultValue;
        return 0;
    }
    const char* text = attribute ? node->Attribute(attribute) : nullptr;
    if (text && value)
        ScanNumber(text, value);
    return 1;
}

int CConfigXML::SetInt(const char* section, const char* key, const char* attribute,
                       int value)
{
    return SetString(section, key, attribute, std::to_string(value).c_str());
}

// ----------------------------------------------------------------------------
// pairs
// ----------------------------------------------------------------------------

namespace
{

std::string FormatValue(int value)
{
    return std::to_string(value);
}

std::string FormatValue(double value)
{
    return FormatReal(value);
}

template <typename T>
std::string FormatPair(T a, T b)
{
    return "(" + FormatValue(a) + "," + FormatValue(b) + ")";
}

// Attribute prefix0, prefix1, ...
std::string IndexedName(const char* prefix, int index)
{
    return std::string(prefix) + std::to_string(index);
}

bool IndexedNamesFit(const char* prefix, int count)
{
    if (!prefix)
        return false;
    // The longest name is the one of the highest index.
    int highest = count > 0 ? count - 1 : 0;
    return IndexedName(prefix, highest).size() <= CConfigXML::MAX_INDEXED_NAME;
}

// The pairs prefix0 .. prefix(count-1) of node, IntPair or RealPair. An
// attribute that is missing leaves its pair as it was.
template <typename Pair>
int ReadPairs(const TiXmlElement* node, const char* prefix, int count, Pair* pairs)
{
    if (!node || !IndexedNamesFit(prefix, count))
        return 0;
    for (int i = 0; i < count && pairs; ++i)
    {
        const char* text = node->Attribute(IndexedName(prefix, i).c_str());
        if (text)
            ScanPair(text, &pairs[i].a, &pairs[i].b);
    }
    return 1;
}

template <typename Pair>
int WritePairs(TiXmlElement* node, const char* prefix, int count, const Pair* pairs)
{
    if (!node || !IndexedNamesFit(prefix, count))
        return 0;
    for (int i = 0; i < count && pairs; ++i)
        node->SetAttribute(IndexedName(prefix, i).c_str(),
                           FormatPair(pairs[i].a, pairs[i].b).c_str());
    return 1;
}

} // anonymous namespace

int CConfigXML::GetIntPair(const char* section, const char* key, const char* attribute,
                           int* a, int* b)
{
    TiXmlElement* node = FindNode(section, key);
    if (!node)
        return 0;
    const char* text = attribute ? node->Attribute(attribute) : nullptr;
    if (text && a && b)
        ScanPair(text, a, b);
    return 1;
}

int CConfigXML::SetIntPair(const char* section, const char* key, const char* attribute,
                           int a, int b)
{
    return SetString(section, key, attribute, FormatPair(a, b).c_str());
}

int CConfigXML::GetIntPairs(const char* section, const char* key, const char* prefix,
                            int count, IntPair* pairs)
{
    return ReadPairs(FindNode(section, key), prefix, count, pairs);
}

int CConfigXML::SetIntPairs(const char* section, const char* key, const char* prefix,
                            int count, const IntPair* pairs)
{
    return WritePairs(FindNode(section, key), prefix, count, pairs);
}

int CConfigXML::GetRealPairs(const char* section, const char* key, const char* prefix,
                             int count, RealPair* pairs)
{
    return ReadPairs(FindNode(section, key), prefix, count, pairs);
}

int CConfigXML::SetRealPairs(const char* section, const char* key, const char* prefix,
                             int count, const RealPair* pairs)
{
    return WritePairs(FindNode(section, key), prefix, count, pairs);
}
