#include "atlas/AdultMouseMetaReader.h"
#include "atlas/DevMouseMetaReader.h"

#include <cstdint>
#include <exception>

// Byte 0 picks the reader; the rest is the metadata document.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    try
    {
        if (data[0] & 1)
        {
            AdultMouseMetaReader reader(data + 1, size - 1);
            reader.ClearImageInfo();
        }
        else
        {
            DevMouseMetaReader reader(data + 1, size - 1);
            // A reader is reused for the next document.
            reader.ReadBuffer(data + 1, size - 1);
        }
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
