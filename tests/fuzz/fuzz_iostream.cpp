#include "core/MemoryStream.h"
#include "core/MemoryStreamRef.h"

#include <cstdint>
#include <exception>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 0xFFFFFFFFu)
        return 0;
    MemoryStreamRef stream(data, static_cast<unsigned int>(size));
    MemoryStream copy(static_cast<unsigned int>(size) * 2 + 256);
    std::string text;
    try
    {
        for (;;)
        {
            stream.ReadString(text);
            copy.WriteString(text);
            if (text.size() > 2)
                stream.Skip(static_cast<unsigned char>(text[0]));
        }
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
