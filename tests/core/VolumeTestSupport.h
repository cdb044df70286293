#pragma once

#include <boost/filesystem.hpp>

#include <cstdint>
#include <string>
#include <vector>

// Helpers shared by the volume, filter and NIfTI tests.
namespace volumetest
{

// A fresh temporary folder removed with everything in it when the test ends.
class TestFolder
{
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const boost::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    boost::filesystem::path m_path;
};

std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const void* data, std::size_t size);
inline void WriteWholeFile(const std::string& path, const std::string& text)
{
    WriteWholeFile(path, text.data(), text.size());
}

// Runs one of the Python scripts in tests/core/oracles with /usr/bin/python3 and the given arguments;
// returns false (and the test skips or fails) when the interpreter or its packages are missing.
bool RunOracle(const std::string& script, const std::vector<std::string>& arguments);

} // namespace volumetest
