#include "core/JSONElementHandler.h"
#include "core/JSONParser.h"

#include "tests/fuzz/FuzzChunks.h"

#include <cstdint>
#include <exception>

// The document arrives in two chunks, as a download does.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    JSONElementHandler handler;
    try
    {
        JSONParser parser(&handler);
        FeedInTwoChunks(data, size, [&](const char* text, int length, bool isFinal) {
            return parser.Parse(text, length, isFinal);
        });
        handler.GetEnclosingKey();
        parser.Parse("{\"a\":[1]}", 9, true);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
