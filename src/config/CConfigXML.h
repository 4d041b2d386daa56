///////////////////////////////////////////////////////////////////////////////
// CConfigXML: access to the driver package's XML configuration file.
//
// A store lives for one short task: load the whole file, read or change
// attributes addressed by (section, key, attribute), save if something
// changed, close. Nothing is cached between tasks. Every operation returns
// 1 when the element was found (or the work was done) and 0 otherwise, and
// reports nothing: callers fall back to their defaults.
///////////////////////////////////////////////////////////////////////////////

#ifndef SIDEKEY_CONFIG_CCONFIGXML_H
#define SIDEKEY_CONFIG_CCONFIGXML_H

#include <cstddef>
#include <memory>
#include <string>

class TiXmlDocument;
class TiXmlElement;

struct IntPair
{
    int a;
    int b;
};

struct RealPair
{
    double a;
    double b;
};

class CConfigXML
{
public:
    // How often and how long Load() waits for a file that another program
    // of the package may be rewriting at this moment.
    static constexpr int LOAD_ATTEMPTS = 15;
    static constexpr int LOAD_PAUSE_MS = 200;

    // Files that Load() treats like unparseable ones, without handing them to
    // TinyXML: anything but a regular file, files larger than MAX_FILE_BYTES
    // (TinyXML takes dozens of bytes of memory per byte of text), and
    // documents whose elements nest deeper than MAX_NESTING levels (TinyXML
    // parses, prints and frees nested elements recursively, so a very deep
    // document would overflow the stack). The package's file is a few
    // hundred bytes, three levels deep.
    static constexpr long MAX_FILE_BYTES = 16L * 1024 * 1024;
    static constexpr int MAX_NESTING = 256;

    CConfigXML();
    virtual ~CConfigXML();

    CConfigXML(const CConfigXML&) = delete;
    CConfigXML& operator=(const CConfigXML&) = delete;

    int Load(const char* path);
    void Save();
    void Close();

    // String reads copy the value only when it fits the buffer, terminating
    // zero included; a longer value is refused and leaves the buffer as it
    // was (a cut-off board type could name a different board).
    int GetText(const char* section, const char* key, char* out, size_t outSize);
    int GetString(const char* section, const char* key, const char* attribute,
                  char* out, size_t outSize);

    template <size_t N>
    int GetText(const char* section, const char* key, char (&out)[N])
    {
        return GetText(section, key, out, N);
    }
    template <size_t N>
    int GetString(const char* section, const char* key, const char* attribute,
                  char (&out)[N])
    {
        return GetString(section, key, attribute, out, N);
    }

    int SetString(const char* section, const char* key, const char* attribute,
                  const char* text);

    int GetInt(const char* section, const char* key, const char* attribute,
               int* value, int defaultValue);
    int SetInt(const char* section, const char* key, const char* attribute,
               int value);

    int GetIntPair(const char* section, const char* key, const char* attribute,
                   int* a, int* b);
    int SetIntPair(const char* section, const char* key, const char* attribute,
                   int a, int b);

    // Attributes named prefix0, prefix1, ... prefix(count-1). Names longer
    // than MAX_INDEXED_NAME bytes are refused: the call returns 0 and
    // touches nothing.
    static constexpr size_t MAX_INDEXED_NAME = 14;

    int GetIntPairs(const char* section, const char* key, const char* prefix,
                    int count, IntPair* pairs);
    int SetIntPairs(const char* section, const char* key, const char* prefix,
                    int count, const IntPair* pairs);
    int GetRealPairs(const char* section, const char* key, const char* prefix,
                     int count, RealPair* pairs);
    int SetRealPairs(const char* section, const char* key, const char* prefix,
                     int count, const RealPair* pairs);

protected:
    // For tests and fuzzing only: a store whose Load() makes loadAttempts
    // attempts with loadPauseMs between them, so that unparseable files cost
    // no time. The program itself always uses the default constructor.
    CConfigXML(int loadAttempts, int loadPauseMs);

    // How deep TinyXML's parser would nest when it parses text (the file's
    // text after line-end normalisation): 1 for a root element without child
    // elements, 0 when the text has no element. Counting stops at the first
    // level above stopAbove. Exposed for the tests of the nesting limit.
    static int NestingDepth(const std::string& text, int stopAbove);

private:
    TiXmlElement* FindNode(const char* section, const char* key) const;

    std::unique_ptr<TiXmlDocument> m_doc;
    bool m_loaded;
    std::string m_path;
    int m_loadAttempts;
    int m_loadPauseMs;
};

#endif // SIDEKEY_CONFIG_CCONFIGXML_H
