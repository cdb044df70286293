#include "atlas/ParseXMLFile.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "core/FileUtils.h"
#include "core/XMLParser.h"

namespace
{

struct FileCloser
{
    void operator()(FILE* file) const { std::fclose(file); }
};

} // namespace

void ParseXMLFile(XMLParser& parser, const char* path, const char* openFailed, const char* parseFailed)
{
    const std::unique_ptr<FILE, FileCloser> file(OpenFile(path, "r"));
    if (!file)
        throw std::runtime_error(openFailed);
    const size_t CHUNK_SIZE = 4096;
    char buffer[CHUNK_SIZE];
    for (;;)
    {
        const size_t count = std::fread(buffer, 1, CHUNK_SIZE, file.get());
        if (std::ferror(file.get()))
            throw std::runtime_error(parseFailed);
        const bool isFinal = count < CHUNK_SIZE;
        if (!parser.Parse(buffer, static_cast<int>(count), isFinal))
            throw std::runtime_error(parseFailed);
        if (isFinal)
            return;
    }
}
