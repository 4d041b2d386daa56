///////////////////////////////////////////////////////////////////////////////
// Runs the fuzz target once on each saved input, without libFuzzer, so that
// every build (the normal one, the sanitizer one) checks the seed corpus and
// the inputs of past findings.
//
//   config_store_replay FILE_OR_FOLDER...
//
// Folders are read in name order. Exits non-zero when there was no input or
// an input cannot be read; an input that fails a check aborts the process.
///////////////////////////////////////////////////////////////////////////////

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i)
    {
        std::error_code ec;
        if (fs::is_directory(argv[i], ec))
        {
            std::vector<fs::path> files;
            for (const fs::directory_entry& e : fs::directory_iterator(argv[i], ec))
            {
                if (e.is_regular_file(ec))
                    files.push_back(e.path());
            }
            std::sort(files.begin(), files.end());
            inputs.insert(inputs.end(), files.begin(), files.end());
        }
        else
        {
            inputs.push_back(argv[i]);
        }
    }
    if (inputs.empty())
    {
        std::fprintf(stderr, "config_store_replay: no inputs\n");
        return 2;
    }

    for (const fs::path& input : inputs)
    {
        std::ifstream in(input, std::ios::binary);
        if (!in)
        {
            std::fprintf(stderr, "config_store_replay: cannot read %s\n", input.c_str());
            return 2;
        }
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::printf("%s (%zu bytes)\n", input.c_str(), data.size());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    }
    std::printf("config_store_replay: %zu inputs passed\n", inputs.size());
    return 0;
}
