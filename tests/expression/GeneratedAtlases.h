#pragma once

// Atlases of the project's generator for the expression tests: micro atlases made once per test binary
// for the tests that need an atlas object, and atlases of any profile and base URL for the end-to-end
// tests.

#include "atlas/Atlas.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

inline bool HaveAtlasGenerator()
{
#ifdef CORVANE_ATLASGEN
    return true;
#else
    return false;
#endif
}

#define REQUIRE_ATLAS_GENERATOR()                                                                                      \
    if (!HaveAtlasGenerator())                                                                                         \
    GTEST_SKIP() << "the atlas generator is not part of this build"

// The generator's command for one atlas; several can run at once with " & " between them and "wait".
inline std::string AtlasCommand(const std::string& profile, unsigned int id, const std::string& folder,
                                const std::string& baseUrl = "")
{
#ifdef CORVANE_ATLASGEN
    std::string command = std::string("'") + CORVANE_ATLASGEN + "' --profile " + profile + " --id " +
                          std::to_string(id) + " --out '" + folder + "'";
    if (!baseUrl.empty())
        command += " --base-url '" + baseUrl + "'";
    return command + " > /dev/null";
#else
    (void)profile, (void)id, (void)folder, (void)baseUrl;
    throw std::runtime_error("the atlas generator was not built");
#endif
}

inline void RunShell(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("command failed: " + command);
}

inline std::string ReadText(const std::string& path)
{
    const std::vector<unsigned char> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// Replaces every occurrence of from in the file.
inline void PatchFile(const std::string& path, const std::string& from, const std::string& to)
{
    std::string text = ReadText(path);
    std::size_t at = 0;
    bool found = false;
    while ((at = text.find(from, at)) != std::string::npos)
    {
        text.replace(at, from.size(), to);
        at += to.size();
        found = true;
    }
    if (!found)
        throw std::runtime_error("no " + from + " in " + path);
    WriteWholeFile(path, text);
}

// Micro atlases of the given ids under one folder, generated on first use and kept for the binary's life.
class MicroAtlases
{
public:
    static std::string Folder(unsigned int id)
    {
        static TempDir root;
        static std::map<unsigned int, std::string> made;
        const auto found = made.find(id);
        if (found != made.end())
            return found->second;
        const std::string folder = root.File(std::to_string(id));
        RunShell(AtlasCommand("micro", id, folder));
        return made[id] = folder;
    }

    // A fresh atlas object of that id; patched copies go to a folder of their own.
    static std::unique_ptr<Atlas> Load(unsigned int id) { return std::make_unique<Atlas>(Folder(id)); }
};
