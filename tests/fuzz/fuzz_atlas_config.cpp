#include "atlas/AtlasConfigReader.h"

#include "tests/fuzz/FuzzTempFile.h"

#include <cstdint>
#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = FuzzTempFile::Write("Info.xml", data, size);
    try
    {
        AtlasConfigReader reader(path.c_str());
        reader.GetSpaces();
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
