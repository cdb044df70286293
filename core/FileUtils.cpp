#include "core/FileUtils.h"

void OpenStream(std::fstream& stream, const char* path, std::ios_base::openmode mode)
{
    if (!path)
    {
        stream.setstate(std::ios_base::failbit);
        return;
    }
    stream.open(path, mode);
}

FILE* OpenFile(const char* path, const char* mode)
{
    if (!path || !mode)
        return nullptr;
    return std::fopen(path, mode);
}
