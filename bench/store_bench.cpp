///////////////////////////////////////////////////////////////////////////////
// store_bench: the configuration store (CConfigXML) against plain TinyXML on
// the same large configuration file.
//
//   store_bench [--iterations N] [--sections S] [--dir FOLDER]
//
// Writes a configuration file of S board sections (about 1 MB for the
// default 3000) into FOLDER, then, N times and alternating which side goes
// first, runs one store session (load, reads, writes, save, close) and the
// same work with TinyXML directly. Every phase is timed on its own; the
// medians are printed as tab-separated lines
//
//   <phase> <store ms> <tinyxml ms> <ratio>
//
// The store's save is safe (temporary file, fsync, rename, fsync of the
// folder); it is compared with the same steps done by hand ("save") and the
// fsync part is isolated by TinyXML's own SaveFile, which syncs nothing
// ("fsync" line: store safe save minus TinyXML SaveFile; "save_nosync" line:
// the store's save without its sync cost against SaveFile).
///////////////////////////////////////////////////////////////////////////////

#include "config/CConfigXML.h"

#include <tinyxml.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;

const int CALIB_POINTS = 9;
const int GEOM_POINTS = 4;
// Sections touched by one read or write phase, spread over the file (the
// last one included: a lookup walks the sections from the top).
const int TOUCHED = 64;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::string SectionName(int i)
{
    char name[32];
    std::snprintf(name, sizeof(name), "Board%05d", i);
    return name;
}

std::string MakeConfig(int sections)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Config>\n"
                      "    <Global>\n        <port num=\"4869\" />\n"
                      "        <CurrentRun TYPE=\"Board00000\" />\n    </Global>\n";
    char buf[128];
    for (int i = 0; i < sections; ++i)
    {
        const std::string name = SectionName(i);
        xml += "    <" + name + ">\n";
        xml += "        <Flag Is_Had_Hand=\"0\" Enable_Soft_Sidekey=\"" +
               std::to_string(i % 2) + "\" bKeyPen=\"0\" />\n";
        xml += "        <Calib";
        for (int p = 0; p < CALIB_POINTS; ++p)
        {
            std::snprintf(buf, sizeof(buf), " P%d=\"(%d,%d)\"", p, (i * 37 + p * 101) % 32768,
                          (i * 91 + p * 53) % 32768);
            xml += buf;
        }
        xml += " />\n        <Geom";
        for (int p = 0; p < GEOM_POINTS; ++p)
        {
            std::snprintf(buf, sizeof(buf), " R%d=\"(%.6f,%.6f)\"", p, (i % 1000) / 1000.0 + p,
                          (i % 997) / 997.0 + p);
            xml += buf;
        }
        xml += " />\n        <Model>Orvane interactive whiteboard, series " +
               std::to_string(i % 50) + "</Model>\n";
        xml += "    </" + name + ">\n";
    }
    xml += "</Config>\n";
    return xml;
}

bool WriteFile(const std::string& path, const std::string& text)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return (std::fclose(f) == 0) && ok;
}

std::vector<std::string> TouchedSections(int sections)
{
    std::vector<std::string> names;
    for (int k = 0; k < TOUCHED; ++k)
        names.push_back(SectionName(static_cast<int>((long long)(sections - 1) * (k + 1) / TOUCHED)));
    return names;
}

// ----------------------------------------------------------------------------
// one session through the store
// ----------------------------------------------------------------------------

struct Phases
{
    double load = 0, read = 0, write = 0, save = 0, close = 0;
    double plainSave = 0; // TinyXML side only: SaveFile, no sync
    long checksum = 0;
};

Phases StoreSession(const std::string& path, const std::vector<std::string>& touched)
{
    Phases ph;
    CConfigXML config;
    Clock::time_point t = Clock::now();
    config.Load(path.c_str());
    ph.load = Ms(Clock::now() - t);

    t = Clock::now();
    char type[30] = {};
    config.GetString("Global", "CurrentRun", "TYPE", type);
    int port = 0;
    config.GetInt("Global", "port", "num", &port, 4869);
    ph.checksum += port + type[0];
    for (const std::string& s : touched)
    {
        int flag = -1;
        IntPair calib[CALIB_POINTS] = {};
        RealPair geom[GEOM_POINTS] = {};
        config.GetInt(s.c_str(), "Flag", "Enable_Soft_Sidekey", &flag, 0);
        config.GetIntPairs(s.c_str(), "Calib", "P", CALIB_POINTS, calib);
        config.GetRealPairs(s.c_str(), "Geom", "R", GEOM_POINTS, geom);
        ph.checksum += flag + calib[CALIB_POINTS - 1].b + static_cast<long>(geom[0].a);
    }
    ph.read = Ms(Clock::now() - t);

    t = Clock::now();
    int k = 0;
    for (const std::string& s : touched)
    {
        IntPair calib[CALIB_POINTS];
        RealPair geom[GEOM_POINTS];
        for (int p = 0; p < CALIB_POINTS; ++p)
            calib[p] = IntPair{k + p, 2 * k + p};
        for (int p = 0; p < GEOM_POINTS; ++p)
            geom[p] = RealPair{k * 0.5 + p, k * 0.25 + p};
        config.SetInt(s.c_str(), "Flag", "Enable_Soft_Sidekey", k % 2);
        config.SetIntPairs(s.c_str(), "Calib", "P", CALIB_POINTS, calib);
        config.SetRealPairs(s.c_str(), "Geom", "R", GEOM_POINTS, geom);
        ++k;
    }
    ph.write = Ms(Clock::now() - t);

    t = Clock::now();
    config.Save();
    ph.save = Ms(Clock::now() - t);

    t = Clock::now();
    config.Close();
    ph.close = Ms(Clock::now() - t);
    return ph;
}

// ----------------------------------------------------------------------------
// the same work with TinyXML directly
// ----------------------------------------------------------------------------

TiXmlElement* Node(TiXmlDocument& doc, const char* section, const char* key)
{
    TiXmlElement* root = doc.FirstChildElement();
    TiXmlElement* s = root ? root->FirstChildElement(section) : nullptr;
    return s ? s->FirstChildElement(key) : nullptr;
}

bool SafeSave(const TiXmlDocument& doc, const std::string& path, const std::string& dir)
{
    std::string tmp = path + ".XXXXXX";
    int fd = mkostemp(&tmp[0], O_CLOEXEC);
    if (fd < 0)
        return false;
    FILE* fp = fdopen(fd, "w");
    bool ok = fp && doc.SaveFile(fp);
    ok = fp && std::fflush(fp) == 0 && ok;
    ok = fp && fsync(fileno(fp)) == 0 && ok;
    ok = fp && std::fclose(fp) == 0 && ok;
    if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0)
    {
        unlink(tmp.c_str());
        return false;
    }
    int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0)
    {
        fsync(dfd);
        close(dfd);
    }
    return true;
}

Phases RawSession(const std::string& path, const std::string& plainPath, const std::string& dir,
                  const std::vector<std::string>& touched)
{
    Phases ph;
    TiXmlDocument* doc = new TiXmlDocument;
    Clock::time_point t = Clock::now();
    doc->LoadFile(path.c_str());
    ph.load = Ms(Clock::now() - t);

    t = Clock::now();
    int port = 0;
    if (TiXmlElement* e = Node(*doc, "Global", "port"))
        e->QueryIntAttribute("num", &port);
    char type[30] = {};
    if (TiXmlElement* e = Node(*doc, "Global", "CurrentRun"))
        if (const char* v = e->Attribute("TYPE"))
            if (std::strlen(v) < sizeof(type))
                std::strcpy(type, v);
    ph.checksum += port + type[0];
    char name[16];
    for (const std::string& s : touched)
    {
        int flag = -1;
        IntPair calib[CALIB_POINTS] = {};
        RealPair geom[GEOM_POINTS] = {};
        if (TiXmlElement* e = Node(*doc, s.c_str(), "Flag"))
            e->QueryIntAttribute("Enable_Soft_Sidekey", &flag);
        if (TiXmlElement* e = Node(*doc, s.c_str(), "Calib"))
            for (int p = 0; p < CALIB_POINTS; ++p)
            {
                std::snprintf(name, sizeof(name), "P%d", p);
                if (const char* v = e->Attribute(name))
                    std::sscanf(v, "(%d,%d)", &calib[p].a, &calib[p].b);
            }
        if (TiXmlElement* e = Node(*doc, s.c_str(), "Geom"))
            for (int p = 0; p < GEOM_POINTS; ++p)
            {
                std::snprintf(name, sizeof(name), "R%d", p);
                if (const char* v = e->Attribute(name))
                    std::sscanf(v, "(%lf,%lf)", &geom[p].a, &geom[p].b);
            }
        ph.checksum += flag + calib[CALIB_POINTS - 1].b + static_cast<long>(geom[0].a);
    }
    ph.read = Ms(Clock::now() - t);

    t = Clock::now();
    int k = 0;
    char text[128];
    for (const std::string& s : touched)
    {
        if (TiXmlElement* e = Node(*doc, s.c_str(), "Flag"))
            e->SetAttribute("Enable_Soft_Sidekey", k % 2);
        if (TiXmlElement* e = Node(*doc, s.c_str(), "Calib"))
            for (int p = 0; p < CALIB_POINTS; ++p)
            {
                std::snprintf(name, sizeof(name), "P%d", p);
                std::snprintf(text, sizeof(text), "(%d,%d)", k + p, 2 * k + p);
                e->SetAttribute(name, text);
            }
        if (TiXmlElement* e = Node(*doc, s.c_str(), "Geom"))
            for (int p = 0; p < GEOM_POINTS; ++p)
            {
                std::snprintf(name, sizeof(name), "R%d", p);
                std::snprintf(text, sizeof(text), "(%lf,%lf)", k * 0.5 + p, k * 0.25 + p);
                e->SetAttribute(name, text);
            }
        ++k;
    }
    ph.write = Ms(Clock::now() - t);

    t = Clock::now();
    doc->SaveFile(plainPath.c_str());
    ph.plainSave = Ms(Clock::now() - t);

    t = Clock::now();
    SafeSave(*doc, path, dir);
    ph.save = Ms(Clock::now() - t);

    t = Clock::now();
    delete doc;
    ph.close = Ms(Clock::now() - t);
    return ph;
}

} // anonymous namespace

int main(int argc, char** argv)
{
    int iterations = 15;
    int sections = 3000;
    std::string dir = ".";
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--iterations" && i + 1 < argc)
            iterations = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--sections" && i + 1 < argc)
            sections = std::max(2, std::atoi(argv[++i]));
        else if (arg == "--dir" && i + 1 < argc)
            dir = argv[++i];
        else
        {
            std::fprintf(stderr,
                         "usage: store_bench [--iterations N] [--sections S] [--dir FOLDER]\n");
            return 2;
        }
    }

    const std::string xml = MakeConfig(sections);
    const std::string storePath = dir + "/store_config.xml";
    const std::string rawPath = dir + "/tinyxml_config.xml";
    const std::string plainPath = dir + "/tinyxml_plain.xml";
    if (!WriteFile(storePath, xml) || !WriteFile(rawPath, xml))
    {
        std::fprintf(stderr, "store_bench: cannot write into %s\n", dir.c_str());
        return 1;
    }
    const std::vector<std::string> touched = TouchedSections(sections);

    // One untimed round each: page cache and allocator warmed alike.
    StoreSession(storePath, touched);
    RawSession(rawPath, plainPath, dir, touched);

    std::vector<double> s[5], r[5], plain, storeTotal, rawTotal;
    long storeSum = 0, rawSum = 0;
    for (int it = 0; it < iterations; ++it)
    {
        Phases a, b;
        if (it % 2 == 0)
        {
            a = StoreSession(storePath, touched);
            b = RawSession(rawPath, plainPath, dir, touched);
        }
        else
        {
            b = RawSession(rawPath, plainPath, dir, touched);
            a = StoreSession(storePath, touched);
        }
        const double av[5] = {a.load, a.read, a.write, a.save, a.close};
        const double bv[5] = {b.load, b.read, b.write, b.save, b.close};
        for (int p = 0; p < 5; ++p)
        {
            s[p].push_back(av[p]);
            r[p].push_back(bv[p]);
        }
        plain.push_back(b.plainSave);
        storeTotal.push_back(a.load + a.read + a.write + a.save + a.close);
        rawTotal.push_back(b.load + b.read + b.write + b.save + b.close);
        storeSum += a.checksum;
        rawSum += b.checksum;
    }
    if (storeSum != rawSum)
        std::fprintf(stderr, "store_bench: store and TinyXML read different values (%ld, %ld)\n",
                     storeSum, rawSum);

    struct stat st;
    stat(storePath.c_str(), &st);
    std::printf("file\t%d sections\t%lld bytes\t%d iterations\n", sections,
                static_cast<long long>(st.st_size), iterations);
    const char* names[5] = {"load", "read", "write", "save", "close"};
    for (int p = 0; p < 5; ++p)
    {
        const double a = Median(s[p]), b = Median(r[p]);
        std::printf("%s\t%.3f\t%.3f\t%.3f\n", names[p], a, b, b > 0 ? a / b : 0.0);
    }
    const double storeSave = Median(s[3]), rawSafe = Median(r[3]), rawPlain = Median(plain);
    // fsync cost: the hand-made safe save minus TinyXML's unsynced SaveFile.
    const double fsyncCost = std::max(0.0, rawSafe - rawPlain);
    std::printf("fsync\t%.3f\t%.3f\t-\n", fsyncCost, 0.0);
    std::printf("save_nosync\t%.3f\t%.3f\t%.3f\n", storeSave - fsyncCost, rawPlain,
                rawPlain > 0 ? (storeSave - fsyncCost) / rawPlain : 0.0);
    const double st_ = Median(storeTotal), rt = Median(rawTotal);
    std::printf("session\t%.3f\t%.3f\t%.3f\n", st_, rt, st_ / rt);
    std::printf("session_nosync\t%.3f\t%.3f\t%.3f\n", st_ - fsyncCost, rt - fsyncCost,
                (st_ - fsyncCost) / (rt - fsyncCost));
    return storeSum == rawSum ? 0 : 1;
}
