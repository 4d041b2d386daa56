///////////////////////////////////////////////////////////////////////////////
// Tests of the configuration store CConfigXML.
//
// Every test works on real files in its own temporary folder under /tmp.
// Loads that are meant to fail cost 15 attempts with pauses (about three
// seconds each), so there are only two of them.
///////////////////////////////////////////////////////////////////////////////

#include "config/CConfigXML.h"
#include "fixtures/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

// ----------------------------------------------------------------------------
// helpers
// ----------------------------------------------------------------------------

// Names in a folder, sorted: shows leftover temporary files.
std::vector<std::string> Entries(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> Names(std::initializer_list<const char*> names)
{
    return std::vector<std::string>(names.begin(), names.end());
}

// The text of one attribute, or "<missing>" / "<no element>".
std::string AttributeOf(CConfigXML& store, const char* section, const char* key,
                        const char* attribute)
{
    char buf[256] = "<missing>";
    if (!store.GetString(section, key, attribute, buf))
        return "<no element>";
    return buf;
}

// Runs body in a child process with the rights of an ordinary user, so that
// file permissions apply even when the tests run as root. Returns the
// body's result, kCannotDrop when the child could not give up root, or -1
// when the child did not end normally.
const int kCannotDrop = 200;
const uid_t kNobody = 65534;

int RunAsOrdinaryUser(const std::function<int()>& body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid == 0)
    {
        if (geteuid() == 0)
        {
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0 ||
                geteuid() == 0)
                _exit(kCannotDrop);
        }
        _exit(body());
    }
    if (pid < 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ----------------------------------------------------------------------------
// fixture: a private folder with a configuration file written from a string
// ----------------------------------------------------------------------------

class ConfigStoreTest : public TempConfigFolderTest
{
protected:
    void WriteConfig(const std::string& text)
    {
        ASSERT_TRUE(WriteFile(m_path, text)) << m_path;
    }

    // Loads xml from the file, lets change work on the store, saves, and
    // returns the text the store wrote.
    std::string SaveAfter(const std::string& xml, const std::function<void(CConfigXML&)>& change)
    {
        if (!WriteFile(m_path, xml))
        {
            ADD_FAILURE() << "cannot write " << m_path;
            return std::string();
        }
        CConfigXML store;
        if (store.Load(m_path.c_str()) != 1)
        {
            ADD_FAILURE() << "cannot load:\n" << xml;
            return std::string();
        }
        change(store);
        store.Save();
        store.Close();
        return ReadFile(m_path);
    }

    // What the store writes for xml when nothing is changed (TinyXML's
    // rendering of the document).
    std::string SavedUnchanged(const std::string& xml)
    {
        return SaveAfter(xml, [](CConfigXML&) {});
    }

};

// ============================================================================
// element lookup
// ============================================================================

struct LookupCase
{
    const char* name;
    const char* xml;
    const char* section;
    const char* key;
    int found;
    int value; // of attribute "num" when found
};

void PrintTo(const LookupCase& c, std::ostream* os)
{
    *os << c.name;
}

class LookupTest : public ConfigStoreTest, public ::testing::WithParamInterface<LookupCase>
{
};

const int kDefault = -1;

TEST_P(LookupTest, FindsExactlyTheDocumentedElement)
{
    const LookupCase& c = GetParam();
    WriteConfig(c.xml);
    CConfigXML store;
    ASSERT_EQ(1, store.Load(m_path.c_str()));

    int value = 0;
    EXPECT_EQ(c.found, store.GetInt(c.section, c.key, "num", &value, kDefault));
    EXPECT_EQ(c.found ? c.value : kDefault, value);

    // Every value operation goes through the same lookup.
    char text[16] = "untouched";
    EXPECT_EQ(c.found, store.GetString(c.section, c.key, "num", text));
    EXPECT_STREQ(c.found ? std::to_string(c.value).c_str() : "untouched", text);
    int a = 0, b = 0;
    EXPECT_EQ(c.found, store.GetIntPair(c.section, c.key, "num", &a, &b));
    EXPECT_EQ(c.found, store.SetInt(c.section, c.key, "other", 1));
}

const LookupCase kLookupCases[] = {
    {"DirectChildOfSection",
     "<config><Global><port num=\"4869\"/></Global></config>", "Global", "port", 1, 4869},
    {"RootElementNameIgnored",
     "<AnyNameAtAll><Global><port num=\"12\"/></Global></AnyNameAtAll>", "Global", "port", 1, 12},
    {"DeclarationAndCommentBeforeRoot",
     "<?xml version=\"1.0\"?>\n<!-- note -->\n<r><Global><port num=\"13\"/></Global></r>",
     "Global", "port", 1, 13},
    {"SectionAndKeyAfterOthers",
     "<r><A/><B><port num=\"8\"/></B><Global><x/><port num=\"5\"/></Global></r>",
     "Global", "port", 1, 5},
    {"OnlyFirstSectionSearchedWhenLaterHoldsKey",
     "<r><Global><other num=\"1\"/></Global><Global><port num=\"2\"/></Global></r>",
     "Global", "port", 0, 0},
    {"FirstSectionWinsWhenBothHoldKey",
     "<r><Global><port num=\"1\"/></Global><Global><port num=\"2\"/></Global></r>",
     "Global", "port", 1, 1},
    {"FirstKeyElementWins",
     "<r><Global><port num=\"3\"/><port num=\"4\"/></Global></r>", "Global", "port", 1, 3},
    {"KeyNestedDeeperNotFound",
     "<r><Global><group><port num=\"6\"/></group></Global></r>", "Global", "port", 0, 0},
    {"SectionNestedDeeperNotFound",
     "<r><outer><Global><port num=\"7\"/></Global></outer></r>", "Global", "port", 0, 0},
    {"RootIsNotASection",
     "<Global><port num=\"9\"/></Global>", "Global", "port", 0, 0},
    {"SectionNameCaseSensitive",
     "<r><Global><port num=\"1\"/></Global></r>", "global", "port", 0, 0},
    {"KeyNameCaseSensitive",
     "<r><Global><port num=\"1\"/></Global></r>", "Global", "Port", 0, 0},
    {"EmptySectionFindsNothing",
     "<r><Global><port num=\"1\"/></Global></r>", "", "port", 0, 0},
    {"EmptyKeyFindsNothing",
     "<r><Global><port num=\"1\"/></Global></r>", "Global", "", 0, 0},
    {"OnlyFirstTopLevelElementIsRoot",
     "<first/><second><Global><port num=\"1\"/></Global></second>", "Global", "port", 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Store, LookupTest, ::testing::ValuesIn(kLookupCases),
                         [](const ::testing::TestParamInfo<LookupCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ConfigStoreTest, NothingIsFoundWithoutLoadedDocument)
{
    WriteConfig("<r><Global><port num=\"1\"/></Global></r>");
    const std::string before = ReadFile(m_path);

    for (bool closed : {false, true})
    {
        SCOPED_TRACE(closed ? "after Close" : "never loaded");
        CConfigXML store;
        if (closed)
        {
            ASSERT_EQ(1, store.Load(m_path.c_str()));
            store.Close();
        }
        int value = 0;
        EXPECT_EQ(0, store.GetInt("Global", "port", "num", &value, 4869));
        EXPECT_EQ(4869, value);
        char text[8] = "keep";
        EXPECT_EQ(0, store.GetString("Global", "port", "num", text));
        EXPECT_STREQ("keep", text);
        EXPECT_EQ(0, store.SetInt("Global", "port", "num", 2));
        store.Save();
    }
    EXPECT_EQ(before, ReadFile(m_path));
}

// ============================================================================
// integers
// ============================================================================

const int kUntouched = 777;

struct IntegerCase
{
    const char* name;
    const char* text; // attribute text as written in the file
    int expected;
};

void PrintTo(const IntegerCase& c, std::ostream* os)
{
    *os << c.name << " \"" << c.text << "\"";
}

class IntegerTextTest : public ConfigStoreTest, public ::testing::WithParamInterface<IntegerCase>
{
};

TEST_P(IntegerTextTest, ReadsLikeDecimalScan)
{
    const IntegerCase& c = GetParam();
    WriteConfig(std::string("<r><Global><port num=\"") + c.text + "\"/></Global></r>");
    CConfigXML store;
    ASSERT_EQ(1, store.Load(m_path.c_str()));
    int value = kUntouched;
    EXPECT_EQ(1, store.GetInt("Global", "port", "num", &value, kDefault));
    EXPECT_EQ(c.expected, value);
}

const IntegerCase kIntegerCases[] = {
    {"Plain", "4870", 4870},
    {"TrailingLettersIgnored", "4870abc", 4870},
    {"NoDigits", "abc", kUntouched},
    {"Negative", "-5", -5},
    {"LeadingBlank", " 7", 7},
    {"LeadingTab", "&#9;5", 5},
    {"PlusSign", "+3", 3},
    {"LeadingZeros", "007", 7},
    {"FractionCut", "3.9", 3},
    {"HexPrefixReadsZero", "0x10", 0},
    {"FirstOfTwoNumbers", "12 34", 12},
    {"Empty", "", kUntouched},
    {"SignOnly", "-", kUntouched},
    {"TwoSigns", "+-3", kUntouched},
    {"MinusPlus", "-+3", kUntouched},
    {"BlankAfterSign", "- 3", kUntouched},
    {"Largest", "2147483647", INT_MAX},
    {"Smallest", "-2147483648", INT_MIN},
    {"AboveLargestIsNoNumber", "2147483648", kUntouched},
    {"BelowSmallestIsNoNumber", "-2147483649", kUntouched},
    {"HugeIsNoNumber", "99999999999999999999", kUntouched},
};

INSTANTIATE_TEST_SUITE_P(Store, IntegerTextTest, ::testing::ValuesIn(kIntegerCases),
                         [](const ::testing::TestParamInfo<IntegerCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ConfigStoreTest, MissingAttributeKeepsValueMissingElementGivesDefault)
{
    WriteConfig("<r><Global><port other=\"1\"/><CurrentRun/></Global></r>");
    CConfigXML store;
    ASSERT_EQ(1, store.Load(m_path.c_str()));

    int value = kUntouched;
    EXPECT_EQ(1, store.GetInt("Global", "port", "num", &value, 4869));
    EXPECT_EQ(kUntouched, value) << "missing attribute";

    value = kUntouched;
    EXPECT_EQ(0, store.GetInt("Global", "missing", "num", &value, 4869));
    EXPECT_EQ(4869, value) << "missing element";

    value = kUntouched;
    EXPECT_EQ(0, store.GetInt("Missing", "port", "num", &value, 4869));
    EXPECT_EQ(4869, value) << "missing section";

    int a = 1, b = 2;
    EXPECT_EQ(1, store.GetIntPair("Global", "port", "num", &a, &b));
    EXPECT_EQ(1, a);
    EXPECT_EQ(2, b);

    IntPair pairs[2] = {{1, 2}, {3, 4}};
    EXPECT_EQ(1, store.GetIntPairs("Global", "port", "P", 2, pairs));
    EXPECT_EQ(1, pairs[0].a);
    EXPECT_EQ(4, pairs[1].b);

    char text[8] = "keep";
    EXPECT_EQ(1, store.GetString("Global", "port", "num", text));
    EXPECT_STREQ("keep", text) << "missing attribute";
    EXPECT_EQ(1, store.GetText("Global", "CurrentRun", text));
    EXPECT_STREQ("keep", text) << "element without text";
    EXPECT_EQ(0, store.GetText("Global", "missing", text));
    EXPECT_STREQ("keep", text) << "missing element";
}

// ============================================================================
// pairs
// ============================================================================

struct IntPairCase
{
    const char* name;
    const char* text;
    int a;
    int b;
};

void PrintTo(const IntPairCase& c, std::ostream* os)
{
    *os << c.name << " \"" << c.text << "\"";
}

class IntPairTextTest : public ConfigStoreTest, public ::testing::WithParamInterface<IntPairCase>
{
};

const int kA = 111;
const int kB = 222;

TEST_P(IntPairTextTest, StoresEachNumberThatWasRead)
{
    const IntPairCase& c = GetParam();
    WriteConfig(std::string("<r><S><K v=\"") + c.text + "\" P0=\"" + c.text + "\"/></S></r>");
    CConfigXML store;
    ASSERT_EQ(1, store.Load(m_path.c_str()));

    int a = kA, b = kB;
    EXPECT_EQ(1, store.GetIntPair("S", "K", "v", &a, &b));
    EXPECT_EQ(c.a, a);
    EXPECT_EQ(c.b, b);

    IntPair pair = {kA, kB};
    EXPECT_EQ(1, store.GetIntPairs("S", "K", "P", 1, &pair));
    EXPECT_EQ(c.a, pair.a);
    EXPECT_EQ(c.b, pair.b);
}

const IntPairCase kIntPairCases[] = {
    {"Plain", "(3,-4)", 3, -4},
    {"OnlyFirstNumber", "(3,x)", 3, kB},
    {"NoFirstNumber", "(x,4)", kA, kB},
    {"NoParenthesis", "3,4", kA, kB},
    {"BlankBeforeParenthesis", " (3,4)", kA, kB},
    {"BlanksBeforeNumbers", "( 3, 4)", 3, 4},
    {"BlankBeforeComma", "(3 ,4)", 3, kB},
    {"OtherSeparator", "(3;4)", 3, kB},
    {"NoClosingParenthesis", "(3,4", 3, 4},
    {"Signs", "(+3,-0)", 3, 0},
    {"FractionStopsAfterFirst", "(1.5,2)", 1, kB},
    {"FirstOutOfRange", "(2147483648,4)", kA, kB},
    {"SecondOutOfRange", "(4,-2147483649)", 4, kB},
    {"Empty", "", kA, kB},
};

INSTANTIATE_TEST_SUITE_P(Store, IntPairTextTest, ::testing::ValuesIn(kIntPairCases),
                         [](const ::testing::TestParamInfo<IntPairCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(ConfigStoreTest, RealPairsReadLikeFloatScan)
{
    const double ra = -7.5, rb = 9.25;
    struct Case
    {
        const char* text;
        double a;
        double b;
    };
    const Case cases[] = {
        {"(1.500000,2.000000)", 1.5, 2.0},
        {"(1e3,-2.5)", 1000.0, -2.5},
        {"( .5,+4)", 0.5, 4.0},
        {"(3,4)", 3.0, 4.0},
        {"(0.25,x)", 0.25, rb},
        {"(x,1)", ra, rb},
        {"(1e999,2)", ra, rb},
        {"(2,-1e999)", 2.0, rb},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        WriteConfig(std::string("<r><S><K P0=\"") + c.text + "\"/></S></r>");
        CConfigXML store;
        ASSERT_EQ(1, store.Load(m_path.c_str()));
        RealPair pair = {ra, rb};
        EXPECT_EQ(1, store.GetRealPairs("S", "K", "P", 1, &pair));
        EXPECT_DOUBLE_EQ(c.a, pair.a);
        EXPECT_DOUBLE_EQ(c.b, pair.b);
    }
}

// ============================================================================
// writing values
// ============================================================================

TEST_F(ConfigStoreTest, WrittenTextsReadBackExactly)
{
    struct Case
    {
        const char* what;
        std::function<int(CConfigXML&)> set;
        const char* attribute;
        const char* text;
    };
    const IntPair intPairs[3] = {{1, 2}, {3, 4}, {-5, 6}};
    const Case cases[] = {
        {"SetInt negative", [](CConfigXML& s) { return s.SetInt("S", "K", "v", -5); }, "v", "-5"},
        {"SetInt smallest", [](CConfigXML& s) { return s.SetInt("S", "K", "v", INT_MIN); }, "v",
         "-2147483648"},
        {"SetIntPair", [](CConfigXML& s) { return s.SetIntPair("S", "K", "v", 3, -4); }, "v",
         "(3,-4)"},
        {"SetIntPairs first", [&](CConfigXML& s) { return s.SetIntPairs("S", "K", "pt", 3, intPairs); },
         "pt0", "(1,2)"},
        {"SetIntPairs last", [&](CConfigXML& s) { return s.SetIntPairs("S", "K", "pt", 3, intPairs); },
         "pt2", "(-5,6)"},
        {"SetRealPairs six decimals",
         [](CConfigXML& s) {
             RealPair p = {1.5, 2.0};
             return s.SetRealPairs("S", "K", "P", 1, &p);
         },
         "P0", "(1.500000,2.000000)"},
        {"SetRealPairs negative and large",
         [](CConfigXML& s) {
             RealPair p = {-2.25, 1e6};
             return s.SetRealPairs("S", "K", "P", 1, &p);
         },
         "P0", "(-2.250000,1000000.000000)"},
        {"SetRealPairs rounded",
         [](CConfigXML& s) {
             RealPair p = {1.0 / 3.0, -1e-7};
             return s.SetRealPairs("S", "K", "P", 1, &p);
         },
         "P0", "(0.333333,-0.000000)"},
        {"SetString markup characters",
         [](CConfigXML& s) { return s.SetString("S", "K", "v", "a<b & \"c\" 'd'>"); }, "v",
         "a<b & \"c\" 'd'>"},
        {"SetString empty", [](CConfigXML& s) { return s.SetString("S", "K", "v", ""); }, "v", ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        SaveAfter("<r><S><K v=\"old\"/></S></r>",
                  [&](CConfigXML& s) { EXPECT_EQ(1, c.set(s)); });
        CConfigXML store;
        ASSERT_EQ(1, store.Load(m_path.c_str()));
        EXPECT_EQ(c.text, AttributeOf(store, "S", "K", c.attribute));
    }
}

TEST_F(ConfigStoreTest, RealPairsUseDecimalPointUnderAnyCLocale)
{
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
    std::string previous = std::setlocale(LC_ALL, nullptr);
    bool switched = false;
    for (const char* name : commaLocales)
    {
        if (std::setlocale(LC_ALL, name) && std::strcmp(localeconv()->decimal_point, ",") == 0)
        {
            switched = true;
            break;
        }
    }
    if (!switched)
    {
        std::setlocale(LC_ALL, previous.c_str());
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    }

    std::string saved = SaveAfter("<r><S><K Q0=\"(0.5,-1.25)\"/></S></r>", [](CConfigXML& s) {
        RealPair read = {0, 0};
        EXPECT_EQ(1, s.GetRealPairs("S", "K", "Q", 1, &read));
        EXPECT_DOUBLE_EQ(0.5, read.a);
        EXPECT_DOUBLE_EQ(-1.25, read.b);
        RealPair p = {1.5, 2.0};
        EXPECT_EQ(1, s.SetRealPairs("S", "K", "P", 1, &p));
    });
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_NE(std::string::npos, saved.find("P0=\"(1.500000,2.000000)\"")) << saved;
}

TEST_F(ConfigStoreTest, AttributesAppendedAfterOthersAndReplacedInPlace)
{
    std::string saved = SaveAfter("<r><S><K first=\"1\" num=\"2\" last=\"3\"/></S></r>",
                                  [](CConfigXML& s) {
                                      EXPECT_EQ(1, s.SetString("S", "K", "added", "x"));
                                      EXPECT_EQ(1, s.SetInt("S", "K", "num", 9));
                                      EXPECT_EQ(1, s.SetIntPair("S", "K", "pair", 1, 2));
                                  });
    const char* inOrder[] = {" first=\"1\"", " num=\"9\"", " last=\"3\"", " added=\"x\"",
                             " pair=\"(1,2)\""};
    size_t previous = 0;
    for (const char* attribute : inOrder)
    {
        size_t at = saved.find(attribute);
        ASSERT_NE(std::string::npos, at) << attribute << " in\n" << saved;
        EXPECT_LT(previous, at) << attribute << " out of order in\n" << saved;
        previous = at;
    }
    EXPECT_EQ(std::string::npos, saved.find("num=\"2\"")) << saved;
}

TEST_F(ConfigStoreTest, SettersNeverCreateElements)
{
    const std::string xml = "<r><S><K v=\"1\"/></S><T/></r>";
    const std::string unchanged = SavedUnchanged(xml);
    const IntPair ip = {1, 2};
    const RealPair rp = {1, 2};
    const std::function<int(CConfigXML&)> setters[] = {
        [](CConfigXML& s) { return s.SetString("S", "missing", "v", "x"); },
        [](CConfigXML& s) { return s.SetInt("missing", "K", "v", 5); },
        [](CConfigXML& s) { return s.SetInt("T", "K", "v", 5); },
        [](CConfigXML& s) { return s.SetIntPair("S", "missing", "v", 1, 2); },
        [&](CConfigXML& s) { return s.SetIntPairs("S", "missing", "P", 1, &ip); },
        [&](CConfigXML& s) { return s.SetRealPairs("missing", "K", "P", 1, &rp); },
    };
    int i = 0;
    for (const auto& set : setters)
    {
        SCOPED_TRACE("setter " + std::to_string(i++));
        std::string saved = SaveAfter(xml, [&](CConfigXML& s) { EXPECT_EQ(0, set(s)); });
        EXPECT_EQ(unchanged, saved);
    }
}

TEST_F(ConfigStoreTest, IndexedWritesOfNoPairsChangeNothing)
{
    const std::string xml = "<r><S><K v=\"1\" P0=\"(1,2)\"/></S></r>";
    const std::string unchanged = SavedUnchanged(xml);
    for (int count : {0, -1})
    {
        SCOPED_TRACE("count " + std::to_string(count));
        std::string saved = SaveAfter(xml, [&](CConfigXML& s) {
            IntPair ip = {7, 8};
            RealPair rp = {7, 8};
            EXPECT_EQ(1, s.SetIntPairs("S", "K", "P", count, &ip));
            EXPECT_EQ(1, s.SetRealPairs("S", "K", "P", count, &rp));
            EXPECT_EQ(1, s.GetIntPairs("S", "K", "P", count, &ip));
            EXPECT_EQ(7, ip.a);
        });
        EXPECT_EQ(unchanged, saved);
    }
}

// ============================================================================
// indexed attribute names
// ============================================================================

struct IndexedCase
{
    const char* name;
    const char* prefix;
    int count;
    bool accepted; // the longest name prefix(count-1) has at most 14 bytes
};

void PrintTo(const IndexedCase& c, std::ostream* os)
{
    *os << c.name;
}

class IndexedNameTest : public ConfigStoreTest, public ::testing::WithParamInterface<IndexedCase>
{
};

TEST_P(IndexedNameTest, TooLongNamesRefuseTheWholeCall)
{
    const IndexedCase& c = GetParam();
    const std::string first = std::string(c.prefix) + "0";
    const std::string last = std::string(c.prefix) + std::to_string(c.count - 1);
    const std::string xml = "<r><S><K " + first + "=\"(1,2)\"/></S></r>";
    const int expected = c.accepted ? 1 : 0;

    SaveAfter(xml, [&](CConfigXML& s) {
        std::vector<IntPair> ints(c.count, IntPair{kA, kB});
        EXPECT_EQ(expected, s.GetIntPairs("S", "K", c.prefix, c.count, ints.data()));
        EXPECT_EQ(c.accepted ? 1 : kA, ints[0].a);
        EXPECT_EQ(c.accepted ? 2 : kB, ints[0].b);

        std::vector<RealPair> reals(c.count, RealPair{-1.0, -1.0});
        EXPECT_EQ(expected, s.GetRealPairs("S", "K", c.prefix, c.count, reals.data()));
        EXPECT_DOUBLE_EQ(c.accepted ? 1.0 : -1.0, reals[0].a);

        std::vector<IntPair> newInts(c.count, IntPair{5, 6});
        EXPECT_EQ(expected, s.SetIntPairs("S", "K", c.prefix, c.count, newInts.data()));
    });

    CConfigXML store;
    ASSERT_EQ(1, store.Load(m_path.c_str()));
    EXPECT_EQ(c.accepted ? "(5,6)" : "(1,2)", AttributeOf(store, "S", "K", first.c_str()));
    if (last != first)
    {
        EXPECT_EQ(c.accepted ? "(5,6)" : "<missing>",
                  AttributeOf(store, "S", "K", last.c_str()));
    }

    // The real-pair writer refuses the same names.
    std::vector<RealPair> reals(c.count, RealPair{0.5, 0.5});
    EXPECT_EQ(expected, store.SetRealPairs("S", "K", c.prefix, c.count, reals.data()));
    EXPECT_EQ(c.accepted ? "(0.500000,0.500000)" : "(1,2)",
              AttributeOf(store, "S", "K", first.c_str()));
}

const IndexedCase kIndexedCases[] = {
    {"ShortPrefix", "P", 1, true},
    {"Prefix13Count10Fits", "abcdefghijklm", 10, true},
    {"Prefix13Count11TooLong", "abcdefghijklm", 11, false},
    {"Prefix14Count1TooLong", "abcdefghijklmn", 1, false},
    {"Prefix12Count100Fits", "abcdefghijkl", 100, true},
    {"Prefix12Count101TooLong", "abcdefghijkl", 101, false},
};

INSTANTIATE_TEST_SUITE_P(Store, IndexedNameTest, ::testing::ValuesIn(kIndexedCases),
                         [](const ::testing::TestParamInfo<IndexedCase>& info) {
                             return std::string(info.param.name);
                         });

// ============================================================================
// string reads
// ============================================================================

TEST_F(ConfigStoreTest, StringReadsRefuseValuesThatDoNotFit)
{
    struct Case
    {
        size_t length;
        size_t bufferSize;
        bool fits;
    };
    const Case cases[] = {
        {0, 1, true},    {0, 0, false},   {4, 5, true},   {5, 5, false},
        {29, 30, true}, {30, 30, false}, {100, 30, false},
    };
    const size_t kGuard = 8;
    for (const Case& c : cases)
    {
        SCOPED_TRACE("length " + std::to_string(c.length) + ", buffer " +
                     std::to_string(c.bufferSize));
        const std::string value(c.length, 'v');
        WriteConfig("<r><S><K a=\"" + value + "\">" + value + "</K></S></r>");
        CConfigXML store;
        ASSERT_EQ(1, store.Load(m_path.c_str()));

        for (bool text : {false, true})
        {
            if (text && c.length == 0)
                continue; // an empty element has no text at all
            SCOPED_TRACE(text ? "GetText" : "GetString");
            std::vector<char> buf(c.bufferSize + kGuard, 'Z');
            int result = text ? store.GetText("S", "K", buf.data(), c.bufferSize)
                              : store.GetString("S", "K", "a", buf.data(), c.bufferSize);
            EXPECT_EQ(1, result);
            std::string expected(c.bufferSize + kGuard, 'Z');
            if (c.fits)
                expected.replace(0, c.length + 1, value + '\0');
            EXPECT_EQ(expected, std::string(buf.begin(), buf.end()));
        }
    }
}

TEST_F(ConfigStoreTest, BoardTypeOf29BytesFitsThirtyByteBufferButNot30)
{
    for (size_t length : {size_t(29), size_t(30)})
    {
        SCOPED_TRACE("TYPE of " + std::to_string(length) + " bytes");
        const std::string type = "OrvaneType" + std::string(length - 10, 'X');
        WriteConfig("<OrvaneDrv><Global><CurrentRun TYPE=\"" + type +
                    "\"/></Global></OrvaneDrv>");
        CConfigXML store;
        ASSERT_EQ(1, store.Load(m_path.c_str()));
        char boardType[30] = "";
        EXPECT_EQ(1, store.GetString("Global", "CurrentRun", "TYPE", boardType));
        EXPECT_EQ(length == 29 ? type : std::string(), std::string(boardType));
    }
}

TEST_F(ConfigStoreTest, BoardTypeBytesPassThroughUnconverted)
{
    // Not valid UTF-8: stray continuation bytes, 0xFF/0xFE, a cut-off sequence.
    const std::string type = "Orv\xFF\xFE\x80\xBF\xE4\xB8Xane";
    const char* headers[] = {
        "",
        "<?xml version=\"1.0\"?>\n",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n",
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n",
    };
    for (const char* header : headers)
    {
        SCOPED_TRACE(std::string("header: ") + header);
        const std::string xml = std::string(header) + "<OrvaneDrv><Global><CurrentRun TYPE=\"" +
                                type + "\"/></Global><" + type +
                                "><Flag Is_Had_Hand=\"0\" Enable_Soft_Sidekey=\"0\"/></" + type +
                                "></OrvaneDrv>";
        std::string saved = SaveAfter(xml, [&](CConfigXML& s) {
            char boardType[30] = "";
            EXPECT_EQ(1, s.GetString("Global", "CurrentRun", "TYPE", boardType));
            EXPECT_EQ(type, std::string(boardType));
            // The bytes as read name the board's own section.
            int hand = kDefault;
            EXPECT_EQ(1, s.GetInt(boardType, "Flag", "Is_Had_Hand", &hand, kDefault));
            EXPECT_EQ(0, hand);
            EXPECT_EQ(1, s.SetInt(boardType, "Flag", "Enable_Soft_Sidekey", 1));
        });
        EXPECT_NE(std::string::npos, saved.find("TYPE=\"" + type + "\"")) << saved;
        EXPECT_NE(std::string::npos, saved.find("<" + type + ">")) << saved;
        EXPECT_NE(std::string::npos, saved.find("Enable_Soft_Sidekey=\"1\"")) << saved;
    }
}

// ============================================================================
// saving
// ============================================================================

const char kFullConfig[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<!-- driver package configuration -->\n"
    "<OrvaneDrv>\n"
    "    <!-- port of the board service -->\n"
    "    <Global>\n"
    "        <port num=\"4869\" proto=\"tcp\" />\n"
    "        <CurrentRun TYPE=\"OrvaneTypeB\" since=\"2023\" />\n"
    "        <Name>\xE7\x99\xBD\xE6\x9D\xBF</Name>\n"
    "    </Global>\n"
    "    <OrvaneTypeA>\n"
    "        <Flag Is_Had_Hand=\"0\" Enable_Soft_Sidekey=\"0\" bKeyPen=\"1\" extra=\"keep me\" />\n"
    "    </OrvaneTypeA>\n"
    "    <OrvaneTypeB>\n"
    "        <Flag Is_Had_Hand=\"0\" Enable_Soft_Sidekey=\"0\" bKeyPen=\"0\" vendor=\"x&amp;y\" />\n"
    "        <!-- inside a section -->\n"
    "    </OrvaneTypeB>\n"
    "</OrvaneDrv>\n";

TEST_F(ConfigStoreTest, SaveKeepsEverythingElse)
{
    const std::string bom = "\xEF\xBB\xBF";
    for (bool withBom : {false, true})
    {
        SCOPED_TRACE(withBom ? "with byte-order mark" : "without byte-order mark");
        std::string saved =
            SaveAfter((withBom ? bom : std::string()) + kFullConfig, [](CConfigXML& s) {
                EXPECT_EQ(1, s.SetInt("OrvaneTypeB", "Flag", "Enable_Soft_Sidekey", 1));
            });

        EXPECT_EQ(withBom, saved.compare(0, bom.size(), bom) == 0);
        const size_t start = withBom ? bom.size() : 0;
        EXPECT_EQ(0, saved.compare(start, 5, "<?xml")) << saved;
        for (const char* piece : {"version=\"1.0\"", "encoding=\"UTF-8\"", "standalone=\"yes\"",
                                  "<!-- driver package configuration -->",
                                  "<!-- port of the board service -->",
                                  "<!-- inside a section -->", "<OrvaneDrv>", "</OrvaneDrv>"})
            EXPECT_NE(std::string::npos, saved.find(piece)) << piece << " in\n" << saved;

        CConfigXML store;
        ASSERT_EQ(1, store.Load(m_path.c_str()));
        EXPECT_EQ("1", AttributeOf(store, "OrvaneTypeB", "Flag", "Enable_Soft_Sidekey"));
        EXPECT_EQ("0", AttributeOf(store, "OrvaneTypeB", "Flag", "bKeyPen"));
        EXPECT_EQ("x&y", AttributeOf(store, "OrvaneTypeB", "Flag", "vendor"));
        EXPECT_EQ("4869", AttributeOf(store, "Global", "port", "num"));
        EXPECT_EQ("tcp", AttributeOf(store, "Global", "port", "proto"));
        EXPECT_EQ("OrvaneTypeB", AttributeOf(store, "Global", "CurrentRun", "TYPE"));
        EXPECT_EQ("2023", AttributeOf(store, "Global", "CurrentRun", "since"));
        EXPECT_EQ("0", AttributeOf(store, "OrvaneTypeA", "Flag", "Enable_Soft_Sidekey"));
        EXPECT_EQ("1", AttributeOf(store, "OrvaneTypeA", "Flag", "bKeyPen"));
        EXPECT_EQ("keep me", AttributeOf(store, "OrvaneTypeA", "Flag", "extra"));
        char name[16] = "";
        EXPECT_EQ(1, store.GetText("Global", "Name", name));
        EXPECT_STREQ("\xE7\x99\xBD\xE6\x9D\xBF", name);
    }
}

TEST_F(ConfigStoreTest, SaveAfterCloseWritesNothing)
{
    WriteConfig(kFullConfig);
    CConfigXML store;
    ASSERT_EQ(1, store.Load(m_path.c_str()));
    EXPECT_EQ(1, store.SetInt("OrvaneTypeB", "Flag", "Enable_Soft_Sidekey", 1));
    store.Close();
    store.Save();
    EXPECT_EQ(kFullConfig, ReadFile(m_path));
    EXPECT_EQ(Names({"config.xml"}), Entries(m_dir));
}

TEST_F(ConfigStoreTest, SaveKeepsPermissionBitsAndOwner)
{
    const bool root = geteuid() == 0;
    for (mode_t mode : {mode_t(0600), mode_t(0640), mode_t(0644), mode_t(0660)})
    {
        SCOPED_TRACE("mode 0" + std::to_string(mode >> 6) + std::to_string((mode >> 3) & 7) +
                     std::to_string(mode & 7));
        WriteConfig(kFullConfig);
        ASSERT_EQ(0, chmod(m_path.c_str(), mode));
        if (root)
        {
            ASSERT_EQ(0, chown(m_path.c_str(), 4321, 8765));
        }

        CConfigXML store;
        ASSERT_EQ(1, store.Load(m_path.c_str()));
        EXPECT_EQ(1, store.SetInt("OrvaneTypeB", "Flag", "bKeyPen", 1));
        store.Save();
        store.Close();

        struct stat st;
        ASSERT_EQ(0, stat(m_path.c_str(), &st));
        EXPECT_EQ(mode, st.st_mode & 07777);
        if (root)
        {
            EXPECT_EQ(uid_t(4321), st.st_uid);
            EXPECT_EQ(gid_t(8765), st.st_gid);
        }
        EXPECT_NE(std::string::npos, ReadFile(m_path).find("bKeyPen=\"1\""));
        EXPECT_EQ(Names({"config.xml"}), Entries(m_dir));
    }
}

TEST_F(ConfigStoreTest, SaveThroughSymlinkReplacesTargetAndKeepsLink)
{
    const std::string realDir = m_dir + "/real";
    const std::string linkDir = m_dir + "/Config";
    const std::string target = realDir + "/config.xml";
    const std::string link = linkDir + "/config.xml";
    ASSERT_EQ(0, mkdir(realDir.c_str(), 0755));
    ASSERT_EQ(0, mkdir(linkDir.c_str(), 0755));
    ASSERT_TRUE(WriteFile(target, kFullConfig));
    ASSERT_EQ(0, symlink("../real/config.xml", link.c_str()));

    CConfigXML store;
    ASSERT_EQ(1, store.Load(link.c_str()));
    EXPECT_EQ(1, store.SetInt("OrvaneTypeB", "Flag", "Enable_Soft_Sidekey", 1));
    store.Save();
    store.Close();

    struct stat st;
    ASSERT_EQ(0, lstat(link.c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    char linkText[64] = {};
    ASSERT_LT(0, readlink(link.c_str(), linkText, sizeof(linkText) - 1));
    EXPECT_STREQ("../real/config.xml", linkText);

    CConfigXML check;
    ASSERT_EQ(1, check.Load(target.c_str()));
    EXPECT_EQ("1", AttributeOf(check, "OrvaneTypeB", "Flag", "Enable_Soft_Sidekey"));
    EXPECT_EQ(Names({"config.xml"}), Entries(realDir));
    EXPECT_EQ(Names({"config.xml"}), Entries(linkDir));
}

// A user who may read the file but not write it or its folder.
TEST_F(ConfigStoreTest, SaveWithoutWriteRightsLeavesFileAsItWas)
{
    struct Case
    {
        const char* what;
        mode_t folderMode;
        mode_t fileMode;
    };
    const Case cases[] = {
        {"read-only folder", 0555, 0666},
        {"read-only file in writable folder", 0777, 0444},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(0, chmod(m_dir.c_str(), 0700));
        WriteConfig(kFullConfig);
        ASSERT_EQ(0, chmod(m_path.c_str(), c.fileMode));
        ASSERT_EQ(0, chmod(m_dir.c_str(), c.folderMode));

        const std::string path = m_path;
        int result = RunAsOrdinaryUser([&path]() {
            CConfigXML store;
            if (store.Load(path.c_str()) != 1)
                return 1;
            if (store.SetInt("OrvaneTypeB", "Flag", "Enable_Soft_Sidekey", 1) != 1)
                return 2;
            store.Save();
            store.Close();
            return 0;
        });
        if (result == kCannotDrop)
        {
            GTEST_SKIP() << "running as root and unable to switch to an ordinary user (uid "
                         << kNobody << "), so write permissions cannot be taken away";
        }
        EXPECT_EQ(0, result) << "1: load failed, 2: setter failed, other: child died";
        EXPECT_EQ(kFullConfig, ReadFile(m_path));
        EXPECT_EQ(Names({"config.xml"}), Entries(m_dir));
    }
}

// Restores the file-size limit when it goes out of scope.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_ok = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, m_oldHandler);
    }
    bool Ok() const { return m_ok; }

private:
    rlimit m_old;
    void (*m_oldHandler)(int);
    bool m_ok;
};

TEST_F(ConfigStoreTest, SaveThatCannotWriteEverythingLeavesFileAsItWas)
{
    WriteConfig(kFullConfig);
    CConfigXML store;
    ASSERT_EQ(1, store.Load(m_path.c_str()));
    EXPECT_EQ(1, store.SetInt("OrvaneTypeB", "Flag", "Enable_Soft_Sidekey", 1));
    {
        // Writes beyond 64 bytes fail, as on a full disk.
        FileSizeLimit limit(64);
        ASSERT_TRUE(limit.Ok());
        store.Save();
    }
    store.Close();
    EXPECT_EQ(kFullConfig, ReadFile(m_path));
    EXPECT_EQ(Names({"config.xml"}), Entries(m_dir));
}

// ============================================================================
// loading
// ============================================================================

TEST_F(ConfigStoreTest, LoadWaitsForFileBeingRewritten)
{
    // Another program of the package is halfway through writing the file and
    // finishes a moment later.
    WriteConfig("<?xml version=\"1.0\"?>\n<OrvaneDrv><Global><port num=\"48");
    const std::string path = m_path;
    const std::string next = m_dir + "/next.xml";
    std::thread writer([path, next]() {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        WriteFile(next, "<OrvaneDrv><Global><port num=\"4870\"/></Global></OrvaneDrv>");
        std::rename(next.c_str(), path.c_str());
    });
    CConfigXML store;
    int loaded = store.Load(m_path.c_str());
    writer.join();
    ASSERT_EQ(1, loaded);
    int port = 0;
    EXPECT_EQ(1, store.GetInt("Global", "port", "num", &port, 4869));
    EXPECT_EQ(4870, port);
}

TEST_F(ConfigStoreTest, FailedLoadOfMissingFileGivesDefaultsAndNeverCreatesIt)
{
    CConfigXML store;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(0, store.Load(m_path.c_str()));
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    // 15 attempts, each followed by a 200 ms pause.
    EXPECT_GE(waited.count(), 2800);

    int port = 0;
    EXPECT_EQ(0, store.GetInt("Global", "port", "num", &port, 4869));
    EXPECT_EQ(4869, port);
    char type[30] = "";
    EXPECT_EQ(0, store.GetString("Global", "CurrentRun", "TYPE", type));
    EXPECT_STREQ("", type);
    EXPECT_EQ(0, store.SetInt("Global", "port", "num", 1));
    store.Save();
    store.Close();
    store.Save();
    EXPECT_EQ(Names({}), Entries(m_dir));
}

TEST_F(ConfigStoreTest, FailedLoadOfHalfWrittenFileForgetsEarlierDocumentAndWritesNothing)
{
    const std::string good = m_dir + "/good.xml";
    ASSERT_TRUE(WriteFile(good, kFullConfig));
    // Files another program has only begun to write: cut inside an element,
    // and cut before the root element (which TinyXML alone would accept).
    const char* const halfWrittenFiles[] = {
        "<?xml version=\"1.0\"?>\n<OrvaneDrv><Global><port num=\"48",
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n",
    };
    for (const char* halfWritten : halfWrittenFiles)
    {
        SCOPED_TRACE(halfWritten);
        WriteConfig(halfWritten);

        CConfigXML store;
        ASSERT_EQ(1, store.Load(good.c_str()));
        EXPECT_EQ(0, store.Load(m_path.c_str()));

        int port = 0;
        EXPECT_EQ(0, store.GetInt("Global", "port", "num", &port, 1234));
        EXPECT_EQ(1234, port);
        EXPECT_EQ(0, store.SetInt("Global", "port", "num", 1));
        store.Save();
        EXPECT_EQ(halfWritten, ReadFile(m_path));
        EXPECT_EQ(std::string(kFullConfig), ReadFile(good));
        EXPECT_EQ(Names({"config.xml", "good.xml"}), Entries(m_dir));
    }
}

} // anonymous namespace
