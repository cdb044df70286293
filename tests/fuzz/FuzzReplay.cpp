// Replays inputs through a harness's entry point without libFuzzer, so that the test build's own
// compiler runs every seed and reproducer under its sanitizers:
//   replay_<harness> [-timeout=SECONDS] FILE_OR_FOLDER...
// Each file, and each file of each folder (in name order, not recursing), is one input. A fault aborts
// the process with the sanitizer's report; a clean run prints how many inputs were replayed.
//
// The limits are libFuzzer's, so that a replay fails where fuzzing would: an input that runs longer than
// the timeout, and an allocation above the harness's malloc limit (-malloc_limit_mb, or -rss_limit_mb,
// 2048 by default, from the command line or from the harness's own LLVMFuzzerInitialize).

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

// The sanitizers' run-time interface, present when the build is sanitized.
extern "C" __attribute__((weak)) int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*,
                                                                                                  std::size_t),
                                                                               void (*freeHook)(const volatile void*));
extern "C" __attribute__((weak)) void __sanitizer_print_stack_trace();

namespace
{
std::size_t mallocLimit = 0;
// The input being replayed, for the reports of the limits.
char currentInput[4096] = "";

void ReportAndDie(const char* what)
{
    std::fprintf(stderr, "==replay== %s while replaying %s\n", what, currentInput);
    if (__sanitizer_print_stack_trace)
        __sanitizer_print_stack_trace();
    _exit(1);
}

void MallocHook(const volatile void*, std::size_t size)
{
    if (mallocLimit != 0 && size > mallocLimit)
    {
        mallocLimit = 0;
        char what[128];
        std::snprintf(what, sizeof what, "out-of-memory (malloc(%zu)) above the malloc limit", size);
        ReportAndDie(what);
    }
}

// The sanitizers install a malloc hook only together with a free hook.
void FreeHook(const volatile void*) {}

void OnTimeout(int)
{
    ReportAndDie("timeout");
}

// The value of a flag "-name=N", else fallback.
long FlagValue(int argc, char** argv, const char* name, long fallback)
{
    const std::size_t length = std::strlen(name);
    long value = fallback;
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] == '-' && std::strncmp(argv[i] + 1, name, length) == 0 && argv[i][1 + length] == '=')
            value = std::atol(argv[i] + 2 + length);
    return value;
}

void InstallLimits(int argc, char** argv)
{
    const long rssLimit = FlagValue(argc, argv, "rss_limit_mb", 2048);
    const long megabytes = FlagValue(argc, argv, "malloc_limit_mb", rssLimit);
    if (megabytes > 0 && __sanitizer_install_malloc_and_free_hooks)
    {
        mallocLimit = static_cast<std::size_t>(megabytes) << 20;
        __sanitizer_install_malloc_and_free_hooks(MallocHook, FreeHook);
    }
    std::signal(SIGALRM, OnTimeout);
}
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
    InstallLimits(argc, argv);
    const unsigned int timeout = static_cast<unsigned int>(std::max(FlagValue(argc, argv, "timeout", 0), 0L));
    std::size_t replayed = 0;
    for (int i = 1; i < argc; ++i)
    {
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
            std::snprintf(currentInput, sizeof currentInput, "%s", file.c_str());
            alarm(timeout);
            LLVMFuzzerTestOneInput(input.get(), bytes.size());
            alarm(0);
            ++replayed;
        }
    }
    std::printf("Replayed %zu inputs\n", replayed);
    return replayed == 0 ? 1 : 0;
}
