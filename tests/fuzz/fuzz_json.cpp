#include "core/JSONElementHandler.h"
#include "core/JSONParser.h"

#include <cstdint>
#include <exception>

// Byte 0 splits the rest into two chunks, as a download arrives.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > (1u << 30))
        return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const int length = static_cast<int>(size - 1);
    const int split = length == 0 ? 0 : data[0] % (length + 1);
    JSONElementHandler handler;
    try
    {
        JSONParser parser(&handler);
        if (parser.Parse(text, split, false))
            parser.Parse(text + split, length - split, true);
        handler.GetEnclosingKey();
        parser.Parse("{\"a\":[1]}", 9, true);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
