///////////////////////////////////////////////////////////////////////////////
// CConfigXML implementation
///////////////////////////////////////////////////////////////////////////////

#include "config/CConfigXML.h"

#include <wx/thread.h>
#include <wx/utils.h>

#include <tinyxml.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// Writes the document so that the file at path is, at every moment, either
// the old file or the complete new one. On any failure the old file stays
// as it was and the temporary file is removed.
bool WriteDocumentSafely(const TiXmlDocument& doc, const std::string& path)
{
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

    bool ok = doc.SaveFile(fp);
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
    : m_loaded(false)
{
}

CConfigXML::~CConfigXML() = default;

int CConfigXML::Load(const char* path)
{
    wxMutexLocker lock(s_configMutex);

    // A store that loaded before forgets that document: if this load fails,
    // Save must not write the empty document over the file.
    m_loaded = false;
    m_doc.reset(new TiXmlDocument);
    m_path = path ? path : "";
    for (int attempt = 0; attempt < LOAD_ATTEMPTS; ++attempt)
    {
        // Another program of the package may be halfway through rewriting
        // the file: an unparseable file is simply tried again a bit later.
        if (!m_path.empty() && m_doc->LoadFile(m_path.c_str(), TIXML_DEFAULT_ENCODING))
        {
            m_loaded = true;
            return 1;
        }
        m_doc.reset(new TiXmlDocument);
        wxMilliSleep(LOAD_PAUSE_MS);
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
    std::string text = "(" + std::to_string(a) + "," + std::to_string(b) + ")";
    return SetString(section, key, attribute, text.c_str());
}

bool CConfigXML::IndexedNamesFit(const char* prefix, int count)
{
    if (!prefix)
        return false;
    // The longest name is the one of the highest index.
    int highest = count > 0 ? count - 1 : 0;
    return IndexedName(prefix, highest).size() <= MAX_INDEXED_NAME;
}

std::string CConfigXML::IndexedName(const char* prefix, int index)
{
    return std::string(prefix) + std::to_string(index);
}

int CConfigXML::GetIntPairs(const char* section, const char* key, const char* prefix,
                            int count, IntPair* pairs)
{
    TiXmlElement* node = FindNode(section, key);
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

int CConfigXML::SetIntPairs(const char* section, const char* key, const char* prefix,
                            int count, const IntPair* pairs)
{
    TiXmlElement* node = FindNode(section, key);
    if (!node || !IndexedNamesFit(prefix, count))
        return 0;
    for (int i = 0; i < count && pairs; ++i)
    {
        std::string text = "(" + std::to_string(pairs[i].a) + "," +
                           std::to_string(pairs[i].b) + ")";
        node->SetAttribute(IndexedName(prefix, i).c_str(), text.c_str());
    }
    return 1;
}

int CConfigXML::GetRealPairs(const char* section, const char* key, const char* prefix,
                             int count, RealPair* pairs)
{
    TiXmlElement* node = FindNode(section, key);
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

int CConfigXML::SetRealPairs(const char* section, const char* key, const char* prefix,
                             int count, const RealPair* pairs)
{
    TiXmlElement* node = FindNode(section, key);
    if (!node || !IndexedNamesFit(prefix, count))
        return 0;
    for (int i = 0; i < count && pairs; ++i)
    {
        std::string text = "(" + FormatReal(pairs[i].a) + "," + FormatReal(pairs[i].b) + ")";
        node->SetAttribute(IndexedName(prefix, i).c_str(), text.c_str());
    }
    return 1;
}
