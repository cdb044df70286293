#pragma once

// Atlases of the project's generator of any profile and base URL, and patched copies of atlases, for the
// search tests (ExpressionFixture.h opens the shared micro atlases).

#include "ExpressionFixture.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

inline void RunShell(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("command failed: " + command);
}

// Replaces every occurrence of from in the file.
inline void PatchFile(const std::string& path, const std::string& from, const std::string& to)
{
    std::string text = ReadBytes(path);
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
