#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

// Readers that take a path get the fuzz input through a file in a folder of this process's own,
// removed when the process ends.
class FuzzTempFile
{
public:
    static std::string Write(const char* name, const std::uint8_t* data, std::size_t size)
    {
        const std::string path = Folder() + "/" + name;
        if (FILE* file = std::fopen(path.c_str(), "wb"))
        {
            if (size != 0)
                std::fwrite(data, 1, size, file);
            std::fclose(file);
        }
        return path;
    }

    static const std::string& Folder()
    {
        static const std::string folder = [] {
            char pattern[] = "/tmp/corvane-fuzz-XXXXXX";
            const char* made = mkdtemp(pattern);
            if (!made)
                std::abort();
            std::string result(made);
            static std::string removeAtExit;
            removeAtExit = result;
            std::atexit([] { std::system(("rm -rf '" + removeAtExit + "'").c_str()); });
            return result;
        }();
        return folder;
    }
};
