#include "core/XMLElementHandler.h"
#include "core/XMLParser.h"

#include "tests/fuzz/FuzzChunks.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <string>

namespace
{
class TouchingHandler : public XMLElementHandler
{
public:
    void StartElement(const char* name, const char** attributes) override
    {
        m_sum += std::strlen(name);
        for (const char** attribute = attributes; attribute && *attribute; ++attribute)
            m_sum += std::strlen(*attribute);
    }
    void EndElement(const char* name) override { m_sum += std::strlen(name); }
    void DataHandler(const char* text, int length) override { m_text.assign(text, length); }

private:
    std::size_t m_sum = 0;
    std::string m_text;
};
}

// The document arrives in two chunks, as a download does.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TouchingHandler handler;
    try
    {
        XMLParser parser(&handler);
        FeedInTwoChunks(data, size, [&](const char* text, int length, bool isFinal) {
            return parser.Parse(text, length, isFinal);
        });
        // A parser is reused for the next file.
        parser.Parse("<a b='1'>x</a>", 14, true);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
