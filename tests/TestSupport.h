#pragma once

// Helpers of the tests of every subsystem: temporary folders that go away with the test, whole files read
// or written at once (a fault there is a fault of the test's setup, so it throws) and error messages.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// Runs an action when the scope ends, however it ends: a failed ASSERT returns from the test at once, and a
// global hook still pointing at the test's objects would outlive them.
template <typename Action>
class ScopeExit
{
public:
    explicit ScopeExit(Action action)
        : m_action(std::move(action))
    {
    }
    ~ScopeExit() { m_action(); }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;

private:
    Action m_action;
};

// A temporary folder that the test owns and removes with everything in it.
class TempDir
{
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvane-test-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("no temporary folder");
        m_path = pattern;
    }
    ~TempDir()
    {
        // A test may have taken away its own rights to the folder.
        std::error_code ignored;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

    // Writes bytes to the named file of the folder and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string m_path;
};

namespace testfiles
{
struct FileCloser
{
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

inline File Open(const std::string& path, const char* mode)
{
    File file(std::fopen(path.c_str(), mode));
    if (!file)
        throw std::runtime_error("cannot open " + path);
    return file;
}
} // namespace testfiles

inline std::vector<unsigned char> ReadWholeFile(const std::string& path)
{
    const testfiles::File file = testfiles::Open(path, "rb");
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        bytes.insert(bytes.end(), buffer, buffer + count);
    if (std::ferror(file.get()))
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

inline void WriteWholeFile(const std::string& path, const void* data, std::size_t size)
{
    testfiles::File file = testfiles::Open(path, "wb");
    const bool written = std::fwrite(data, 1, size, file.get()) == size;
    if (!written || std::fclose(file.release()) != 0)
        throw std::runtime_error("cannot write " + path);
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    WriteWholeFile(path, bytes.data(), bytes.size());
}

inline std::string TempDir::Write(const std::string& name, const std::string& bytes) const
{
    const std::string path = File(name);
    WriteWholeFile(path, bytes);
    return path;
}

// The message of the std::runtime_error that function throws, or "no error".
template <class Function>
std::string ErrorOf(Function&& function)
{
    try
    {
        function();
    }
    catch (const std::runtime_error& error)
    {
        return error.what();
    }
    return "no error";
}
