///////////////////////////////////////////////////////////////////////////////
// Fuzz target for the configuration store CConfigXML.
//
// Each input is the whole configuration file. It is written as
// Config/config.xml into a private folder, loaded, read with every read
// operation, changed with every write operation, saved, loaded again and
// closed. Names for the reads and writes come from the document itself
// (sections, keys, attributes and their numbered prefixes) and from the
// layout the program uses (Global/port/num, Global/CurrentRun/TYPE,
// <board>/Flag/...).
//
// Besides crashes and sanitizer reports, the target stops on:
//   - a nesting depth that differs from the depth of the tree TinyXML builds
//     from the same text (the store refuses deep files by that depth);
//   - a Load result other than TinyXML's own verdict on the text (a document
//     without a root element counts as unparseable);
//   - a string read that writes outside its buffer or leaves it unterminated;
//   - a written value that does not read back, before and after Save;
//   - Save writing anything after a failed Load or after Close.
//
// Built two ways (cmake/Fuzz.cmake): with clang's libFuzzer, and with a
// small main() (replay_main.cpp) that runs saved inputs in every build.
///////////////////////////////////////////////////////////////////////////////

#include "config/CConfigXML.h"

#include <tinyxml.h>

#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

// ----------------------------------------------------------------------------
// the store as the tests see it
// ----------------------------------------------------------------------------

// One load attempt without pause: an unparseable input costs no time.
class FuzzStore : public CConfigXML
{
public:
    FuzzStore()
        : CConfigXML(1, 0)
    {
    }

    using CConfigXML::NestingDepth;
};

[[noreturn]] void Fail(const char* what, const std::string& detail = std::string())
{
    std::fprintf(stderr, "config_store_fuzzer: %s %s\n", what, detail.c_str());
    std::fflush(stderr);
    std::abort();
}

// ----------------------------------------------------------------------------
// the private folder: <tmp>/sidekey-fuzz-XXXXXX/Config/config.xml
// ----------------------------------------------------------------------------

std::string g_dir;
std::string g_configDir;
std::string g_path;

void RemoveFolder()
{
    // The store's temporary files are removed by the store; only the
    // configuration file and the two folders are left.
    unlink(g_path.c_str());
    if (DIR* d = opendir(g_configDir.c_str()))
    {
        while (dirent* e = readdir(d))
        {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                unlink((g_configDir + "/" + e->d_name).c_str());
        }
        closedir(d);
    }
    rmdir(g_configDir.c_str());
    rmdir(g_dir.c_str());
}

const std::string& ConfigPath()
{
    if (!g_path.empty())
        return g_path;
    // Save syncs every file it writes: a memory file system keeps that cheap.
    std::vector<std::string> bases;
    if (const char* env = std::getenv("SIDEKEY_FUZZ_TMPDIR"))
        bases.push_back(env);
    bases.push_back("/dev/shm");
    if (const char* env = std::getenv("TMPDIR"))
        bases.push_back(env);
    bases.push_back("/tmp");
    for (const std::string& base : bases)
    {
        std::string pattern = base + "/sidekey-fuzz-XXXXXX";
        if (mkdtemp(&pattern[0]))
        {
            g_dir = pattern;
            break;
        }
    }
    if (g_dir.empty())
        Fail("cannot create a temporary folder", std::strerror(errno));
    g_configDir = g_dir + "/Config";
    if (mkdir(g_configDir.c_str(), 0700) != 0)
        Fail("cannot create", g_configDir);
    g_path = g_configDir + "/config.xml";
    std::atexit(RemoveFolder);
    return g_path;
}

void WriteWhole(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        Fail("cannot write", path);
    if (size && std::fwrite(data, 1, size, f) != size)
        Fail("short write", path);
    if (std::fclose(f) != 0)
        Fail("cannot close", path);
}

std::string ReadWhole(const std::string& path)
{
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return "<no file>";
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0)
        text.append(buf, n);
    std::fclose(f);
    return text;
}

// ----------------------------------------------------------------------------
// TinyXML's own view of the input
// ----------------------------------------------------------------------------

// What TiXmlDocument::LoadFile parses: line ends normalised, up to the
// first NUL byte.
std::string NormalisedText(const uint8_t* data, size_t size)
{
    std::string text;
    text.reserve(size);
    for (size_t i = 0; i < size && data[i] != 0; ++i)
    {
        if (data[i] == '\r')
        {
            text.push_back('\n');
            if (i + 1 < size && data[i + 1] == '\n')
                ++i;
        }
        else
        {
            text.push_back(static_cast<char>(data[i]));
        }
    }
    return text;
}

// Deepest element level of a (possibly partly built) tree, without
// recursion. Top-level elements are level 1.
int TreeDepth(const TiXmlNode& document)
{
    int deepest = 0;
    std::vector<std::pair<const TiXmlNode*, int>> stack;
    for (const TiXmlElement* e = document.FirstChildElement(); e; e = e->NextSiblingElement())
        stack.emplace_back(e, 1);
    while (!stack.empty())
    {
        auto [node, level] = stack.back();
        stack.pop_back();
        if (level > deepest)
            deepest = level;
        for (const TiXmlElement* e = node->FirstChildElement(); e; e = e->NextSiblingElement())
            stack.emplace_back(e, level + 1);
    }
    return deepest;
}

// Frees a tree from the leaves up: a deep tree would overflow the stack in
// TinyXML's recursive destructor.
void FreeIteratively(TiXmlNode* document)
{
    for (;;)
    {
        TiXmlNode* node = document;
        while (node->LastChild())
            node = node->LastChild();
        if (node == document)
            return;
        node->Parent()->RemoveChild(node);
    }
}

// What TiXmlDocument::SaveFile writes for doc.
std::string Rendered(const TiXmlDocument& doc)
{
    char* buf = nullptr;
    size_t size = 0;
    FILE* mem = open_memstream(&buf, &size);
    if (!mem)
        Fail("open_memstream", std::strerror(errno));
    doc.SaveFile(mem);
    std::fclose(mem);
    std::string bytes(buf, size);
    std::free(buf);
    return bytes;
}

// Whether TinyXML reads what it writes for doc back into a document that it
// writes the same way. The store refuses to save documents that do not.
bool RoundTrips(const TiXmlDocument& doc)
{
    const std::string bytes = Rendered(doc);
    std::string text = NormalisedText(reinterpret_cast<const uint8_t*>(bytes.data()),
                                      bytes.size());
    if (FuzzStore::NestingDepth(text, CConfigXML::MAX_NESTING) > CConfigXML::MAX_NESTING)
        return false;
    text.append(8, '\0');
    TiXmlDocument again;
    again.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    return !again.Error() && Rendered(again) == bytes;
}

// ----------------------------------------------------------------------------
// names to work with
// ----------------------------------------------------------------------------

struct Triple
{
    std::string section;
    std::string key;
    std::string attribute;
};

const size_t kNamesPerLevel = 4;

void AddUnique(std::vector<std::string>* names, const char* name)
{
    if (!name || names->size() >= kNamesPerLevel)
        return;
    for (const std::string& n : *names)
        if (n == name)
            return;
    names->push_back(name);
}

std::vector<Triple> TriplesOf(const TiXmlDocument* doc)
{
    std::vector<Triple> triples = {
        {"Global", "port", "num"},
        {"Global", "CurrentRun", "TYPE"},
        {"OrvaneTypeA", "Flag", "Is_Had_Hand"},
        {"OrvaneTypeB", "Flag", "Enable_Soft_Sidekey"},
        {"OrvaneTypeB", "Flag", "bKeyPen"},
        {"OrvaneTypeB", "Flag", ""},
        {"", "Flag", "bKeyPen"},
    };
    const TiXmlElement* root = doc ? doc->FirstChildElement() : nullptr;
    if (!root)
        return triples;
    std::vector<std::string> sections;
    for (const TiXmlElement* s = root->FirstChildElement(); s; s = s->NextSiblingElement())
        AddUnique(&sections, s->Value());
    for (const std::string& section : sections)
    {
        const TiXmlElement* s = root->FirstChildElement(section.c_str());
        std::vector<std::string> keys;
        for (const TiXmlElement* k = s->FirstChildElement(); k; k = k->NextSiblingElement())
            AddUnique(&keys, k->Value());
        for (const std::string& key : keys)
        {
            const TiXmlElement* k = s->FirstChildElement(key.c_str());
            std::vector<std::string> attributes;
            for (const TiXmlAttribute* a = k->FirstAttribute(); a; a = a->Next())
                AddUnique(&attributes, a->Name());
            attributes.push_back("NewAttribute");
            for (const std::string& attribute : attributes)
                triples.push_back({section, key, attribute});
        }
    }
    return triples;
}

// "P12" gives "P": indexed names in the document give prefixes to read.
std::vector<std::string> PrefixesOf(const std::vector<Triple>& triples)
{
    std::vector<std::string> prefixes = {"", "P", "Point", "ABCDEFGHIJKLM", "ABCDEFGHIJKLMN",
                                         "ABCDEFGHIJKLMNO"};
    for (const Triple& t : triples)
    {
        std::string p = t.attribute;
        while (!p.empty() && p.back() >= '0' && p.back() <= '9')
            p.pop_back();
        if (p.size() != t.attribute.size() && prefixes.size() < 10)
            prefixes.push_back(p);
    }
    return prefixes;
}

// ----------------------------------------------------------------------------
// reads
// ----------------------------------------------------------------------------

const size_t kGuard = 16;
const char kGuardByte = '\x5a';

// A string read into a buffer of outSize bytes inside guard bytes. The
// buffer starts filled with 'x' and no terminating zero: a read that stores
// something must store all of it, terminated.
template <typename Read>
void GuardedRead(size_t outSize, Read read)
{
    std::unique_ptr<char[]> block(new char[outSize + 2 * kGuard]);
    std::memset(block.get(), kGuardByte, kGuard);
    std::memset(block.get() + kGuard, 'x', outSize);
    std::memset(block.get() + kGuard + outSize, kGuardByte, kGuard);
    char* out = block.get() + kGuard;
    read(out, outSize);
    for (size_t i = 0; i < kGuard; ++i)
    {
        if (block[i] != kGuardByte || block[kGuard + outSize + i] != kGuardByte)
            Fail("string read wrote outside its buffer");
    }
    bool untouched = true;
    for (size_t i = 0; i < outSize; ++i)
        untouched = untouched && out[i] == 'x';
    if (!untouched && !std::memchr(out, '\0', outSize))
        Fail("string read left its buffer unterminated");
}

void ReadEverything(CConfigXML& store, const std::vector<Triple>& triples,
                    const std::vector<std::string>& prefixes)
{
    const size_t sizes[] = {1, 2, 30, 300};
    const int counts[] = {-1, 0, 1, 3, 11};
    size_t n = 0;
    for (const Triple& t : triples)
    {
        const char* s = t.section.c_str();
        const char* k = t.key.c_str();
        const char* a = t.attribute.c_str();
        for (size_t size : sizes)
        {
            GuardedRead(size, [&](char* out, size_t outSize) {
                store.GetText(s, k, out, outSize);
            });
            GuardedRead(size, [&](char* out, size_t outSize) {
                store.GetString(s, k, a, out, outSize);
            });
        }
        GuardedRead(8, [&](char* out, size_t outSize) {
            store.GetString(s, k, nullptr, out, outSize);
        });
        int value = -7;
        store.GetInt(s, k, a, &value, 4869);
        store.GetInt(s, k, nullptr, &value, 4869);
        int x = 1, y = 2;
        store.GetIntPair(s, k, a, &x, &y);
        store.GetIntPair(s, k, a, nullptr, nullptr);

        // Indexed reads cost count lookups each: only for a few triples.
        if (n++ >= 12)
            continue;
        for (const std::string& prefix : prefixes)
        {
            for (int count : counts)
            {
                // Exactly count elements: anything past them is a heap overflow.
                size_t len = count > 0 ? static_cast<size_t>(count) : 0;
                std::unique_ptr<IntPair[]> ints(new IntPair[len]);
                std::unique_ptr<RealPair[]> reals(new RealPair[len]);
                for (size_t i = 0; i < len; ++i)
                {
                    ints[i] = {-1, -1};
                    reals[i] = {-1.0, -1.0};
                }
                store.GetIntPairs(s, k, prefix.c_str(), count, ints.get());
                store.GetRealPairs(s, k, prefix.c_str(), count, reals.get());
            }
            store.GetIntPairs(s, k, prefix.c_str(), 3, nullptr);
            store.GetRealPairs(s, k, prefix.c_str(), 3, nullptr);
        }
        store.GetIntPairs(s, k, nullptr, 1, nullptr);
    }
    store.GetText(nullptr, nullptr, nullptr, 0);
    store.GetString(nullptr, nullptr, nullptr, nullptr, 0);
}

// ----------------------------------------------------------------------------
// writes, and what must read back
// ----------------------------------------------------------------------------

struct Written
{
    enum Kind { Int, String, IntPairValue } kind;
    int a = 0;
    int b = 0;
    std::string text;
};

using WrittenMap = std::map<std::tuple<std::string, std::string, std::string>, Written>;

// Values picked by the input's bytes, so that runs are reproducible.
uint32_t Mix(uint32_t h, uint32_t v)
{
    return (h ^ v) * 16777619u;
}

void WriteEverything(CConfigXML& store, const std::vector<Triple>& triples,
                     const std::vector<std::string>& prefixes, uint32_t seed,
                     WrittenMap* written)
{
    static const int ints[] = {0, 1, -1, 4869, INT_MIN, INT_MAX, 42};
    static const char* const texts[] = {
        "", "OrvaneTypeB", "a&b<c>\"d'e", "\xe4\xb8\xad\xe6\x96\x87", " spaced  out ", "&amp;",
        "\t\x01\x7f", "0123456789012345678901234567890123456789"};
    static const double reals[] = {0.0, -0.0, 1.5, -2.25, 1e300, -1.7976931348623157e308,
                                   4.9e-324, std::numeric_limits<double>::infinity(),
                                   std::numeric_limits<double>::quiet_NaN()};
    const int nInts = sizeof(ints) / sizeof(ints[0]);
    const int nTexts = sizeof(texts) / sizeof(texts[0]);
    const int nReals = sizeof(reals) / sizeof(reals[0]);

    uint32_t h = seed;
    size_t n = 0;
    for (const Triple& t : triples)
    {
        const char* s = t.section.c_str();
        const char* k = t.key.c_str();
        const char* a = t.attribute.c_str();
        const auto where = std::make_tuple(t.section, t.key, t.attribute);
        const bool named = !t.attribute.empty();
        h = Mix(h, static_cast<uint32_t>(n));

        switch (h % 3)
        {
        case 0:
        {
            int v = ints[(h >> 8) % nInts];
            if (store.SetInt(s, k, a, v) && named)
                (*written)[where] = Written{Written::Int, v, 0, ""};
            break;
        }
        case 1:
        {
            const char* v = texts[(h >> 8) % nTexts];
            if (store.SetString(s, k, a, v) && named)
                (*written)[where] = Written{Written::String, 0, 0, v};
            break;
        }
        default:
        {
            int x = ints[(h >> 8) % nInts], y = ints[(h >> 16) % nInts];
            if (store.SetIntPair(s, k, a, x, y) && named)
                (*written)[where] = Written{Written::IntPairValue, x, y, ""};
            break;
        }
        }
        store.SetString(s, k, nullptr, "x");
        store.SetString(s, k, a, nullptr);

        if (n++ >= 6)
            continue;
        for (const std::string& prefix : prefixes)
        {
            // The empty prefix gives names TinyXML cannot read back ("0"):
            // the store refuses to save them, which the end of the target
            // checks on its own.
            if (prefix.empty())
                continue;
            int count = static_cast<int>((h >> 4) % 5);
            std::vector<IntPair> ip(static_cast<size_t>(count));
            std::vector<RealPair> rp(static_cast<size_t>(count));
            for (int i = 0; i < count; ++i)
            {
                ip[i] = {ints[(h + i) % nInts], ints[(h >> 3) % nInts]};
                rp[i] = {reals[(h + i) % nReals], reals[(h >> 5) % nReals]};
            }
            // The integer pairs are written last, so they are what reads back.
            if (store.SetRealPairs(s, k, prefix.c_str(), count, rp.data()) !=
                store.SetIntPairs(s, k, prefix.c_str(), count, ip.data()))
                Fail("indexed writes disagree on", t.section + "/" + t.key + " " + prefix);
            if (count > 0 && prefix.size() + 2 <= CConfigXML::MAX_INDEXED_NAME &&
                store.GetIntPairs(s, k, prefix.c_str(), 0, nullptr))
            {
                for (int i = 0; i < count; ++i)
                {
                    std::string name = prefix + std::to_string(i);
                    (*written)[std::make_tuple(t.section, t.key, name)] =
                        Written{Written::IntPairValue, ip[i].a, ip[i].b, ""};
                }
            }
            store.SetIntPairs(s, k, prefix.c_str(), 2, nullptr);
            store.SetRealPairs(s, k, prefix.c_str(), 2, nullptr);
        }
    }
    store.SetInt(nullptr, nullptr, nullptr, 0);
    store.SetString(nullptr, nullptr, nullptr, nullptr);
}

void CheckWritten(CConfigXML& store, const WrittenMap& written, const char* when)
{
    for (const auto& [where, w] : written)
    {
        const char* s = std::get<0>(where).c_str();
        const char* k = std::get<1>(where).c_str();
        const char* a = std::get<2>(where).c_str();
        const std::string name = std::get<0>(where) + "/" + std::get<1>(where) + "/" +
                                 std::get<2>(where) + " " + when;
        switch (w.kind)
        {
        case Written::Int:
        {
            int v = ~w.a;
            if (store.GetInt(s, k, a, &v, ~w.a) != 1 || v != w.a)
                Fail("integer did not read back:", name);
            break;
        }
        case Written::String:
        {
            std::unique_ptr<char[]> buf(new char[w.text.size() + 1]);
            buf[0] = '\0';
            if (store.GetString(s, k, a, buf.get(), w.text.size() + 1) != 1 ||
                w.text != buf.get())
                Fail("text did not read back:", name);
            break;
        }
        case Written::IntPairValue:
        {
            int x = ~w.a, y = ~w.b;
            if (store.GetIntPair(s, k, a, &x, &y) != 1 || x != w.a || y != w.b)
                Fail("integer pair did not read back:", name);
            break;
        }
        }
    }
}

} // anonymous namespace

// ============================================================================
// the target
// ============================================================================

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = ConfigPath();
    WriteWhole(path, data, size);

    // TinyXML's verdict and tree, when the text is shallow enough to parse
    // it directly (the limit leaves room for a depth that is wrongly low).
    const int kDirectLimit = 2000;
    const std::string text = NormalisedText(data, size);
    const int depth = FuzzStore::NestingDepth(text, kDirectLimit);
    std::unique_ptr<TiXmlDocument> direct;
    bool directOk = false;
    if (depth <= kDirectLimit)
    {
        std::string padded = text + std::string(8, '\0');
        direct.reset(new TiXmlDocument);
        direct->Parse(padded.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
        directOk = !direct->Error();
        const int built = TreeDepth(*direct);
        if (built != depth)
            Fail("nesting depth differs from TinyXML's tree:",
                 std::to_string(depth) + " != " + std::to_string(built));
    }
    // A document without a root element counts as one being written.
    const bool shouldLoad = directOk && direct->RootElement() &&
                            depth <= CConfigXML::MAX_NESTING &&
                            static_cast<long>(size) <= CConfigXML::MAX_FILE_BYTES;

    FuzzStore store;
    const int loaded = store.Load(path.c_str());
    if (loaded != (shouldLoad ? 1 : 0))
        Fail("Load disagrees with TinyXML:", std::to_string(loaded));

    // A document that TinyXML writes and reads back unchanged must be saved
    // with what is written into it below; others may be refused.
    const bool stable = shouldLoad && RoundTrips(*direct);

    const std::vector<Triple> triples = TriplesOf(directOk ? direct.get() : nullptr);
    const std::vector<std::string> prefixes = PrefixesOf(triples);
    if (direct)
        FreeIteratively(direct.get());
    direct.reset();

    ReadEverything(store, triples, prefixes);

    uint32_t seed = 2166136261u;
    for (size_t i = 0; i < size && i < 64; ++i)
        seed = Mix(seed, data[i]);
    WrittenMap written;
    WriteEverything(store, triples, prefixes, seed, &written);
    CheckWritten(store, written, "before saving");

    const std::string before = ReadWhole(path);
    store.Save();
    if (!loaded && ReadWhole(path) != before)
        Fail("Save after a failed Load changed the file");

    if (loaded)
    {
        // What was saved loads again and, unless the store kept the old
        // file (TinyXML would have written one that does not read back),
        // holds what was written.
        FuzzStore again;
        const std::string saved = ReadWhole(path);
        if (again.Load(path.c_str()) != 1)
            Fail("the saved file does not load again:\n", saved);
        if (saved != before || stable)
            CheckWritten(again, written, "after saving");
        again.Close();

        // A name TinyXML cannot read back: the file stays as it was.
        IntPair pair = {1, 2};
        for (const Triple& t : triples)
        {
            if (store.SetIntPairs(t.section.c_str(), t.key.c_str(), "", 1, &pair))
            {
                store.Save();
                if (ReadWhole(path) != saved)
                    Fail("Save wrote a file TinyXML cannot read");
                break;
            }
        }
    }

    store.Close();
    const std::string saved = ReadWhole(path);
    store.Save();
    if (ReadWhole(path) != saved)
        Fail("Save after Close changed the file");
    ReadEverything(store, triples, prefixes);
    return 0;
}
