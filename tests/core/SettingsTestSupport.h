#pragma once

// Helpers of the settings, folder and HTTP tests: temporary folders and environment variables that are put
// back when a test ends.

#include <cstdlib>
#include <optional>
#include <string>

#include <stdlib.h>

#include "TestSupport.h"

class ScopedEnv
{
public:
    // value null unsets the variable.
    ScopedEnv(const char* name, const char* value)
        : name(name)
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
