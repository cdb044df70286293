#pragma once

// Helpers of the tests of every subsystem: temporary folders that go away with the test, whole files read
// or written at once (a fault there is a fault of the test's setup, so it throws), error messages and a
// private home for the suites that run Qt.

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <stdlib.h>
#include <sys/stat.h>

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

// Points HOME and the XDG folders into root, so that no test touches the user's own files, and lets Qt run
// offscreen where there is no display.
inline void UsePrivateHome(const TempDir& root)
{
    for (const char* sub : {"home", "data", "config", "cache", "runtime"})
        std::filesystem::create_directories(root.File(sub));
    chmod(root.File("runtime").c_str(), 0700);
    setenv("HOME", root.File("home").c_str(), 1);
    setenv("XDG_DATA_HOME", root.File("data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", root.File("config").c_str(), 1);
    setenv("XDG_CACHE_HOME", root.File("cache").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", root.File("runtime").c_str(), 1);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

// Standard output of a shell command; status receives its exit status as pclose gives it, -1 when it did
// not run.
inline std::string CommandOutput(const std::string& command, int* status = nullptr)
{
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (status)
        *status = -1;
    if (!pipe)
        return output;
    char buffer[65536];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, count);
    const int closed = pclose(pipe);
    if (status)
        *status = closed;
    return output;
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
