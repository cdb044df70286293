#include "core/XMLElementHandler.h"
#include "core/XMLParser.h"

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

// Byte 0 splits the rest into two chunks, as a download arrives.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > (1u << 30))
        return 0;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const int length = static_cast<int>(size - 1);
    const int split = length == 0 ? 0 : data[0] % (length + 1);
    TouchingHandler handler;
    try
    {
        XMLParser parser(&handler);
        if (parser.Parse(text, split, false))
            parser.Parse(text + split, length - split, true);
        // A parser is reused for the next file.
        parser.Parse("<a b='1'>x</a>", 14, true);
    }
    catch (const std::exception&)
    {
    }
    return 0;
}
