#pragma once

// The numpy side of the scene tests (oracles/scene_oracle.py): a command, its input as JSON, its answer
// as bytes.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#if defined(CORVANE_PYTHON) && defined(CORVANE_SCENE_ORACLE)
#define REQUIRE_ORACLE()
#else
#define REQUIRE_ORACLE() GTEST_SKIP() << "python3 with numpy is not part of this build"
#endif

namespace scenetest
{

inline std::vector<unsigned char> RunOracle(const std::string& command, const std::string& json)
{
#if defined(CORVANE_PYTHON) && defined(CORVANE_SCENE_ORACLE)
    TempDir dir;
    const std::string input = dir.Write("input.json", json);
    const std::string output = dir.File("output");
    const std::string line = std::string("'") + CORVANE_PYTHON + "' '" + CORVANE_SCENE_ORACLE + "' " + command + " '" +
                             input + "' '" + output + "'";
    if (std::system(line.c_str()) != 0)
        throw std::runtime_error("the numpy oracle failed: " + line);
    return ReadWholeFile(output);
#else
    (void)command;
    (void)json;
    throw std::runtime_error("no numpy oracle in this build");
#endif
}

// A JSON array of numbers, printed exactly enough for floats.
template <typename Iterator>
std::string JsonArray(Iterator begin, Iterator end)
{
    std::ostringstream out;
    out.precision(9);
    out << '[';
    for (Iterator it = begin; it != end; ++it)
        out << (it == begin ? "" : ",") << +*it;
    out << ']';
    return out.str();
}

} // namespace scenetest
