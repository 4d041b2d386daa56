///////////////////////////////////////////////////////////////////////////////
// Tests of the configuration store against hostile and unusual files: the
// inputs behind the fuzzing findings, kept as plain unit tests.
//
// Every test works on real files in its own temporary folder under /tmp.
// Most use a store that makes one load attempt without pause (the protected
// constructor for tests); one checks the program's own store on a deep file.
///////////////////////////////////////////////////////////////////////////////

#include "config/CConfigXML.h"
#include "fixtures/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

// ----------------------------------------------------------------------------
// helpers
// ----------------------------------------------------------------------------

class QuickStore : public CConfigXML
{
public:
    QuickStore()
        : CConfigXML(1, 0)
    {
    }

    using CConfigXML::NestingDepth;
};

std::string Repeat(const std::string& s, size_t n)
{
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; ++i)
        out += s;
    return out;
}

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";

// The sample layout with `levels` elements nested below the root element
// (root = level 1) after the Global section.
std::string NestedConfig(int levels)
{
    std::string doc = std::string(kDeclaration) +
                      "<Config>\n  <Global>\n    <port num=\"4870\" />\n  </Global>\n";
    for (int i = 2; i <= levels; ++i)
        doc += "<n>";
    for (int i = 2; i <= levels; ++i)
        doc += "</n>";
    return doc + "\n</Config>\n";
}

int PortOf(CConfigXML& store)
{
    int port = 4869;
    store.GetInt("Global", "port", "num", &port, 4869);
    return port;
}

class StoreLimitsTest : public TempConfigFolderTest
{
protected:
    // Loads text with the quick store: the Load result; the file must come
    // out of Load, reads, a write and Save either changed as written (when
    // it loaded) or untouched.
    int LoadSetAndSave(const std::string& text)
    {
        EXPECT_TRUE(WriteFile(m_path, text));
        QuickStore store;
        int loaded = store.Load(m_path.c_str());
        char type[30] = "";
        store.GetString("Global", "CurrentRun", "TYPE", type);
        store.SetInt("Global", "port", "num", 4871);
        store.Save();
        store.Close();
        if (!loaded)
        {
            EXPECT_EQ(text, ReadFile(m_path)) << "a file that did not load was changed";
        }
        return loaded;
    }
};

// ============================================================================
// nesting
// ============================================================================

TEST_F(StoreLimitsTest, MillionLevelsDeepIsRefusedLikeAMalformedFile)
{
    // About 7 MB: TinyXML alone would need some 200 MB of stack for it.
    const size_t levels = 1000000;
    const std::string deep = std::string(kDeclaration) + Repeat("<a>", levels) +
                             Repeat("</a>", levels) + "\n";
    ASSERT_EQ(0, LoadSetAndSave(deep));

    QuickStore store;
    ASSERT_EQ(0, store.Load(m_path.c_str()));
    EXPECT_EQ(4869, PortOf(store));
}

TEST_F(StoreLimitsTest, MillionUnclosedLevelsAreRefused)
{
    EXPECT_EQ(0, LoadSetAndSave(Repeat("<Config>", 1000000)));
    EXPECT_EQ(0, LoadSetAndSave(std::string(kDeclaration) + "<Config><Global>" +
                                Repeat("<port num=\"1\">", 500000)));
}

TEST_F(StoreLimitsTest, NestingUpToTheLimitLoads)
{
    ASSERT_EQ(1, LoadSetAndSave(NestedConfig(CConfigXML::MAX_NESTING)));
    QuickStore store;
    ASSERT_EQ(1, store.Load(m_path.c_str()));
    EXPECT_EQ(4871, PortOf(store));
}

TEST_F(StoreLimitsTest, OneLevelMoreThanTheLimitIsRefused)
{
    EXPECT_EQ(0, LoadSetAndSave(NestedConfig(CConfigXML::MAX_NESTING + 1)));
}

TEST_F(StoreLimitsTest, ManyElementsDoNotCountAsDepth)
{
    // Thousands of '<' side by side and inside comments, CDATA, attribute
    // values and text: only element levels count.
    std::string doc = std::string(kDeclaration) + "<Config>\n<Global><port num=\"4870\" /></Global>\n";
    doc += Repeat("<s><k a=\"&lt;&lt;\" /></s>", 2000);
    doc += "<!-- " + Repeat("<x>", 2000) + " -->";
    doc += "<c><![CDATA[" + Repeat("<y>", 2000) + "]]></c>";
    doc += "<t b='" + Repeat("&lt;z&gt;", 2000) + "' />";
    doc += "</Config>\n";
    ASSERT_EQ(1, LoadSetAndSave(doc));
    EXPECT_EQ(3, QuickStore::NestingDepth(doc, 1000));
}

struct DepthCase
{
    const char* xml;
    int depth;
};

TEST(NestingDepth, CountsWhatTinyXmlNests)
{
    const DepthCase cases[] = {
        {"", 0},
        {"   ", 0},
        {"<!-- only a comment -->", 0},
        {"<a/>", 1},
        {"<a></a>", 1},
        {"<a><b/><b/><b/></a>", 2},
        {"<a><b><c/></b></a>", 3},
        {"<a><!-- <b><c><d> --></a>", 1},
        {"<a><![CDATA[<b><c><d>]]></a>", 1},
        {"<a x='<b><c>' y=\"<d>\"/>", 1},
        // TinyXML ends a DOCTYPE at its first '>' and then stops at the
        // text " ]>": nothing after it is parsed.
        {"<!DOCTYPE a [ <!ELEMENT a ANY> ]><a><b/></a>", 0},
        {"<!DOCTYPE a><a><b/></a>", 2},
        {"<?xml version=\"1.0\"?><a><?xml x?><b/></a>", 2},
        {"<a>text<b>more<c>and more</c></b></a>", 3},
        // Parsing stops at the first error: what comes after does not count.
        {"<a><b></a><c><d><e/></d></c>", 2},
        {"<a><b><c>", 3},
        {"<a b='1' b='2'><c><d/></c></a>", 1},
        // Nor does anything after text at the top level.
        {"<a/>garbage<b><c/></b>", 1},
        // Two top-level elements: both are parsed.
        {"<a/><b><c/></b>", 2},
        // "< b>" is not an element to TinyXML (but what follows it is),
        // "<_b>" is.
        {"<a>< b><c/></a>", 2},
        {"<a><_b><c/></_b></a>", 3},
        // In UTF-8, a lead byte takes the next bytes with it, '<' included.
        {"\xef\xbb\xbf<a>\xe4<b><c/></a>", 2},
        {"<a>\xe4<b><c/></b></a>", 3},
    };
    for (const DepthCase& c : cases)
        EXPECT_EQ(c.depth, QuickStore::NestingDepth(c.xml, 100)) << c.xml;
    // Counting stops above the given level.
    EXPECT_EQ(4, QuickStore::NestingDepth(Repeat("<a>", 1000), 3));
}

TEST_F(StoreLimitsTest, ProgramStoreRefusesADeepFileAfterItsAttempts)
{
    ASSERT_TRUE(WriteFile(m_path, NestedConfig(100000)));
    CConfigXML store;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, store.Load(m_path.c_str()));
    const auto took = std::chrono::steady_clock::now() - start;
    // 15 attempts with a pause of 200 ms after each, as for a malformed file.
    EXPECT_GE(took, std::chrono::milliseconds(CConfigXML::LOAD_ATTEMPTS * CConfigXML::LOAD_PAUSE_MS));
    EXPECT_EQ(4869, PortOf(store));
}

// ============================================================================
// size
// ============================================================================

TEST_F(StoreLimitsTest, FiveMegabytesOfSectionsLoad)
{
    // 22000 board sections of about 235 bytes each, Global last.
    const int sections = 22000;
    const std::string last = "Board" + std::to_string(sections - 1);
    std::string doc = std::string(kDeclaration) + "<Config>\n";
    for (int i = 0; i < sections; ++i)
    {
        const std::string name = "Board" + std::to_string(i);
        doc += "    <" + name + ">\n        <Flag Is_Had_Hand=\"0\" Enable_Soft_Sidekey=\"" +
               std::to_string(i % 2) + "\" bKeyPen=\"0\" />\n        <Pen P0=\"(1,2)\" P1=\"(3,4)\" " +
               "P2=\"(5,6)\" />\n        <Note>" + Repeat("x", 60) + "</Note>\n    </" + name + ">\n";
    }
    doc += "    <Global>\n        <port num=\"4870\" />\n        <CurrentRun TYPE=\"" + last +
           "\" />\n    </Global>\n</Config>\n";
    ASSERT_GT(doc.size(), 5u * 1000 * 1000);

    ASSERT_TRUE(WriteFile(m_path, doc));
    {
        QuickStore store;
        ASSERT_EQ(1, store.Load(m_path.c_str()));
        char type[30] = "";
        EXPECT_EQ(1, store.GetString("Global", "CurrentRun", "TYPE", type));
        EXPECT_EQ(last, type);
        int flag = -1;
        EXPECT_EQ(1, store.GetInt(type, "Flag", "Enable_Soft_Sidekey", &flag, 0));
        EXPECT_EQ(1, flag);
        IntPair pen[3] = {};
        EXPECT_EQ(1, store.GetIntPairs("Board12345", "Pen", "P", 3, pen));
        EXPECT_EQ(6, pen[2].b);
        EXPECT_EQ(1, store.SetInt(type, "Flag", "Enable_Soft_Sidekey", 0));
        store.Save();
        store.Close();
    }
    QuickStore again;
    ASSERT_EQ(1, again.Load(m_path.c_str()));
    int flag = -1;
    again.GetInt(last.c_str(), "Flag", "Enable_Soft_Sidekey", &flag, 0);
    EXPECT_EQ(0, flag);
    EXPECT_EQ(4870, PortOf(again));
}

TEST_F(StoreLimitsTest, FileOverTheSizeLimitIsRefused)
{
    std::string doc = std::string(kDeclaration) +
                      "<Config><Global><port num=\"4870\" /></Global><!-- ";
    const std::string tail = " --></Config>\n";
    const size_t limit = static_cast<size_t>(CConfigXML::MAX_FILE_BYTES);
    doc.append(limit - doc.size() - tail.size(), '-');
    doc += tail;
    ASSERT_EQ(limit, doc.size());
    EXPECT_EQ(1, LoadSetAndSave(doc));

    doc.insert(doc.size() - tail.size(), "-");
    EXPECT_EQ(0, LoadSetAndSave(doc));
}

// ============================================================================
// saving what TinyXML cannot read back
// ============================================================================

TEST_F(StoreLimitsTest, SaveKeepsTheFileWhenTinyXmlWouldWriteOneThatDoesNotLoad)
{
    // TinyXML writes declaration values as they are: this one would come
    // out as version="1.0"?><x" and end the document there.
    const std::string doc = "<?xml version=\"1.0&quot;?&gt;&lt;x\" encoding=\"UTF-8\" ?>\n"
                            "<Config>\n    <Global>\n        <port num=\"4870\" />\n"
                            "    </Global>\n</Config>\n";
    ASSERT_TRUE(WriteFile(m_path, doc));
    QuickStore store;
    ASSERT_EQ(1, store.Load(m_path.c_str()));
    EXPECT_EQ(1, store.SetInt("Global", "port", "num", 4871));
    store.Save();
    EXPECT_EQ(doc, ReadFile(m_path));
    // The value stays set in memory; only the file is left alone.
    EXPECT_EQ(4871, PortOf(store));
}

TEST_F(StoreLimitsTest, SaveKeepsTheFileWhenANameIsNoXmlName)
{
    // The empty prefix gives the attribute name "0", which TinyXML writes
    // but does not read.
    const std::string doc = NestedConfig(3);
    ASSERT_TRUE(WriteFile(m_path, doc));
    QuickStore store;
    ASSERT_EQ(1, store.Load(m_path.c_str()));
    const IntPair pair = {1, 2};
    EXPECT_EQ(1, store.SetIntPairs("Global", "port", "", 1, &pair));
    store.Save();
    EXPECT_EQ(doc, ReadFile(m_path));

    // Without it, the same store saves.
    QuickStore other;
    ASSERT_EQ(1, other.Load(m_path.c_str()));
    EXPECT_EQ(1, other.SetInt("Global", "port", "num", 4871));
    other.Save();
    QuickStore again;
    ASSERT_EQ(1, again.Load(m_path.c_str()));
    EXPECT_EQ(4871, PortOf(again));
}

// ============================================================================
// what is not a regular file
// ============================================================================

TEST_F(StoreLimitsTest, FolderInPlaceOfTheFileIsRefused)
{
    // TinyXML's own file loading asks for an impossible amount of memory
    // for a folder and ends the program.
    ASSERT_EQ(0, mkdir(m_path.c_str(), 0700));
    QuickStore store;
    EXPECT_EQ(0, store.Load(m_path.c_str()));
    EXPECT_EQ(4869, PortOf(store));
    store.Save();
    EXPECT_TRUE(fs::is_directory(m_path));
}

TEST_F(StoreLimitsTest, PipeInPlaceOfTheFileDoesNotBlock)
{
    // Opening a pipe for reading would wait for a writer for ever.
    ASSERT_EQ(0, mkfifo(m_path.c_str(), 0600));
    QuickStore store;
    EXPECT_EQ(0, store.Load(m_path.c_str()));
    EXPECT_EQ(4869, PortOf(store));
}

TEST_F(StoreLimitsTest, SymbolicLinkToTheFileLoads)
{
    const std::string real = m_dir + "/real.xml";
    ASSERT_TRUE(WriteFile(real, NestedConfig(3)));
    ASSERT_EQ(0, symlink(real.c_str(), m_path.c_str()));
    QuickStore store;
    ASSERT_EQ(1, store.Load(m_path.c_str()));
    EXPECT_EQ(4870, PortOf(store));
}

// ============================================================================
// text TinyXML reads past
// ============================================================================

TEST_F(StoreLimitsTest, TextEndingInsideAMultiByteCharacterIsRefused)
{
    // TinyXML's UTF-8 reader steps over the end of such a text and on into
    // whatever memory follows it.
    EXPECT_EQ(0, LoadSetAndSave(std::string(kDeclaration) + "<Config>\xe4"));
    EXPECT_EQ(0, LoadSetAndSave(std::string(kDeclaration) + "<Config TYPE=\"\xf0"));
    EXPECT_EQ(0, LoadSetAndSave("\xef\xbb\xbf<Config><Global>\xe4\xb8"));
}

TEST_F(StoreLimitsTest, LineEndsAndNulBytesAreReadLikeTinyXmlDoes)
{
    // "\r\n" and "\r" become "\n"; the text ends at the first NUL byte.
    std::string doc = std::string(kDeclaration) +
                      "<Config>\r\n<Global>\r<port num=\"4870\" />\r\n</Global>\r</Config>\r\n";
    ASSERT_EQ(1, LoadSetAndSave(doc));
    doc = std::string(kDeclaration) + "<Config><Global><port num=\"4870\" /></Global></Config>";
    ASSERT_EQ(1, LoadSetAndSave(doc + std::string("\0<broken", 8)));
    EXPECT_EQ(0, LoadSetAndSave(std::string("\0", 1) + doc));
}

} // anonymous namespace
