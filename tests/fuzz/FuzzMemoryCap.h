#pragma once

#include <cstring>
#include <string>
#include <vector>

// Harnesses whose inputs may declare large sizes run under a memory cap of their own, unless the command
// line sets one: an allocation above it is a finding (a size trusted before the bytes behind it were
// seen), not an exhausted machine. Called from LLVMFuzzerInitialize, before libFuzzer reads its flags.
inline void AddMemoryCap(int* argc, char*** argv, int megabytes)
{
    static std::vector<std::string> added;
    static std::vector<char*> arguments;
    bool mallocLimit = false, rssLimit = false;
    for (int i = 0; i < *argc; ++i)
    {
        mallocLimit = mallocLimit || std::strncmp((*argv)[i], "-malloc_limit_mb=", 17) == 0;
        rssLimit = rssLimit || std::strncmp((*argv)[i], "-rss_limit_mb=", 14) == 0;
    }
    if (!mallocLimit)
        added.push_back("-malloc_limit_mb=" + std::to_string(megabytes));
    if (!rssLimit)
        added.push_back("-rss_limit_mb=" + std::to_string(megabytes * 2));
    arguments.assign(*argv, *argv + *argc);
    for (std::string& flag : added)
        arguments.push_back(&flag[0]);
    arguments.push_back(nullptr);
    *argc = static_cast<int>(arguments.size()) - 1;
    *argv = arguments.data();
}
