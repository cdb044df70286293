// Replays inputs through a harness's entry point without libFuzzer, so that the test build's own
// compiler runs every seed and reproducer under its sanitizers:
//   replay_<harness> FILE_OR_FOLDER...
// Each file, and each file of each folder (in name order, not recursing), is one input. A fault aborts
// the process with the sanitizer's report; a clean run prints how many inputs were replayed.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace
{
std::vector<std::string> Inputs(const std::string& argument)
{
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    if (!fs::is_directory(argument))
        return {argument};
    for (const fs::directory_entry& entry : fs::directory_iterator(argument))
        if (entry.is_regular_file())
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}
} // namespace

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i)
    {
        // Flags meant for libFuzzer (the memory cap) are left to the sanitizer options here.
        if (argv[i][0] == '-')
            continue;
        const std::vector<std::string> files = Inputs(argv[i]);
        if (files.empty())
        {
            std::fprintf(stderr, "No inputs in %s\n", argv[i]);
            return 1;
        }
        for (const std::string& file : files)
        {
            std::ifstream in(file, std::ios::binary);
            if (!in)
            {
                std::fprintf(stderr, "Cannot read %s\n", file.c_str());
                return 1;
            }
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            // A copy of exactly the input's size, so that a read past its end is caught; never null.
            const std::unique_ptr<std::uint8_t[]> input(new std::uint8_t[bytes.size()]);
            std::copy(bytes.begin(), bytes.end(), input.get());
            LLVMFuzzerTestOneInput(input.get(), bytes.size());
            ++replayed;
        }
    }
    std::printf("Replayed %zu inputs\n", replayed);
    return replayed == 0 ? 1 : 0;
}
