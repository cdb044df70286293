#include "VolumeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace volumetest
{

namespace
{

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
    {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

} // namespace

bool RunOracle(const std::string& script, const std::vector<std::string>& arguments)
{
    std::string command =
        "/usr/bin/python3 " + Quoted(std::string(CORVANE_SOURCE_DIR) + "/tests/core/oracles/" + script);
    for (const std::string& argument : arguments)
        command += " " + Quoted(argument);
    const int status = std::system(command.c_str());
    if (status != 0)
        ADD_FAILURE() << "oracle failed (" << status << "): " << command;
    return status == 0;
}

} // namespace volumetest
