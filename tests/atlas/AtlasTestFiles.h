#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

// A temporary folder that the test owns and removes.
class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/corvane-atlas-XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("no temporary folder");
        m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

    // Writes bytes to the named file of the folder and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const std::string path = File(name);
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file)
            throw std::runtime_error("cannot write " + path);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        return path;
    }

private:
    std::string m_path;
};

// The message of the exception of type E that call throws, or a failure when it throws none.
template <typename E> std::string MessageOf(const std::function<void()>& call)
{
    try
    {
        call();
    }
    catch (const E& error)
    {
        return error.what();
    }
    ADD_FAILURE() << "no exception";
    return std::string();
}
