#pragma once

// Helpers of the settings, folder and HTTP tests: temporary folders and environment variables that are put
// back when a test ends.

#include <boost/filesystem/operations.hpp>

#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

#include <stdlib.h>

class SettingsTempDir
{
public:
    SettingsTempDir()
    {
        char pattern[] = "/tmp/corvane-settings-XXXXXX";
        if (!mkdtemp(pattern))
            throw std::runtime_error("no temporary folder");
        path = pattern;
    }
    ~SettingsTempDir()
    {
        boost::system::error_code ec;
        boost::filesystem::permissions(path, boost::filesystem::owner_all | boost::filesystem::add_perms, ec);
        boost::filesystem::remove_all(path, ec);
    }
    SettingsTempDir(const SettingsTempDir&) = delete;
    SettingsTempDir& operator=(const SettingsTempDir&) = delete;

    const std::string& Path() const { return path; }
    std::string operator/(const std::string& name) const { return path + "/" + name; }

private:
    std::string path;
};

class ScopedEnv
{
public:
    // value null unsets the variable.
    ScopedEnv(const char* name, const char* value) : name(name)
    {
        if (const char* old = std::getenv(name))
            previous = std::string(old);
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (previous)
            setenv(name.c_str(), previous->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name;
    std::optional<std::string> previous;
};
