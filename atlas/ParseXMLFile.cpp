#include "atlas/ParseXMLFile.h"

#include <cstdio>
#include <memory>

#include "core/FileUtils.h"
#include "core/XMLParser.h"

namespace
{

struct FileCloser
{
    void operator()(FILE* file) const { std::fclose(file); }
};

} // namespace

XMLFileResult ParseXMLFile(XMLParser& parser, const char* path)
{
    const std::unique_ptr<FILE, FileCloser> file(OpenFile(path, "r"));
    if (!file)
        return XMLFileResult::OpenFailed;
    const size_t CHUNK_SIZE = 4096;
    char buffer[CHUNK_SIZE];
    for (;;)
    {
        const size_t count = std::fread(buffer, 1, CHUNK_SIZE, file.get());
        if (std::ferror(file.get()))
            return XMLFileResult::ParseFailed;
        const bool isFinal = count < CHUNK_SIZE;
        if (!parser.Parse(buffer, static_cast<int>(count), isFinal))
            return XMLFileResult::ParseFailed;
        if (isFinal)
            return XMLFileResult::Parsed;
    }
}
