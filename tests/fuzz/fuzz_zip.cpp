#include "core/MemoryStreamRef.h"
#include "core/ZipReader.h"

#include <cstdint>
#include <exception>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    try
    {
        MemoryStreamRef stream(data, static_cast<unsigned int>(size));
        ZipReader reader(&stream);
        reader.SeekFile("a");
        for (const ZipReader::ZipItem& item : reader.GetDirectory())
        {
            // Callers size the output by the directory; a lying directory must fail in Read, but the
            // harness itself need not allocate gigabytes to find out.
            if (item.uncompressedSize > (16u << 20))
                continue;
            std::vector<unsigned char> out(item.uncompressedSize + 1u);
            try
            {
                reader.Read(&item, out.data());
            }
            catch (const std::exception&)
            {
            }
        }
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
