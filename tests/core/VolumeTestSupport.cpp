#include "VolumeTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace volumetest
{

TestFolder::TestFolder()
    : m_path(boost::filesystem::temp_directory_path() / boost::filesystem::unique_path("corvane-%%%%-%%%%-%%%%"))
{
    boost::filesystem::create_directories(m_path);
}

TestFolder::~TestFolder()
{
    boost::system::error_code ignored;
    boost::filesystem::remove_all(m_path, ignored);
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const void* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

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
