#include "core/JSONParser.h"

#include "core/JSONElementHandler.h"

#include <stdexcept>
#include <string>
#include <utility>

#include <yajl/yajl_parse.h>

// The C callbacks. A handler's exception must not unwind through yajl's frames:
// it is kept, the parse is cancelled, and Parse rethrows it.
struct JSONParserCallbacks
{
    template <typename Call>
    static int Forward(void* context, Call&& call)
    {
        JSONParser& parser = *static_cast<JSONParser*>(context);
        if (parser.m_pendingException)
            return 0;
        try
        {
            return call(*parser.m_handler) ? 1 : 0;
        }
        catch (...)
        {
            parser.m_pendingException = std::current_exception();
            return 0;
        }
    }

    static unsigned int Length(std::size_t length) { return static_cast<unsigned int>(length); }

    static int Null(void* context)
    {
        return Forward(context, [](JSONElementHandler& h) { return h.Value("", 0); });
    }
    static int Boolean(void* context, int value)
    {
        return Forward(context,
                       [&](JSONElementHandler& h) { return value ? h.Value("true", 4) : h.Value("false", 5); });
    }
    static int Number(void* context, const char* text, std::size_t length)
    {
        return Forward(context, [&](JSONElementHandler& h) { return h.Value(text, Length(length)); });
    }
    static int String(void* context, const unsigned char* text, std::size_t length)
    {
        return Forward(context, [&](JSONElementHandler& h) {
            return h.Value(reinterpret_cast<const char*>(text), Length(length));
        });
    }
    static int StartMap(void* context)
    {
        return Forward(context, [](JSONElementHandler& h) { return h.StartMap(); });
    }
    static int MapKey(void* context, const unsigned char* text, std::size_t length)
    {
        return Forward(context, [&](JSONElementHandler& h) {
            return h.MapKey(reinterpret_cast<const char*>(text), Length(length));
        });
    }
    static int EndMap(void* context)
    {
        return Forward(context, [](JSONElementHandler& h) { return h.EndMap(); });
    }
    static int StartArray(void* context)
    {
        return Forward(context, [](JSONElementHandler& h) { return h.StartArray(); });
    }
    static int EndArray(void* context)
    {
        return Forward(context, [](JSONElementHandler& h) { return h.EndArray(); });
    }

    static const yajl_callbacks& Table()
    {
        // Numbers arrive as text through the number callback only.
        static const yajl_callbacks table = {&Null,     &Boolean, nullptr, nullptr,     &Number,  &String,
                                             &StartMap, &MapKey,  &EndMap, &StartArray, &EndArray};
        return table;
    }
};

namespace
{
const char* const kHandlerExpected = "JSON parse handler expected.";
}

JSONParser::JSONParser(JSONElementHandler* handler)
    : m_handler(handler)
{
    if (!handler)
        throw std::invalid_argument(kHandlerExpected);
}

JSONParser::~JSONParser()
{
    FreeHandle();
}

void JSONParser::SetHandler(JSONElementHandler* handler)
{
    if (!handler)
        throw std::invalid_argument(kHandlerExpected);
    m_handler = handler;
}

bool JSONParser::Parse(const char* data, int length, bool isFinal)
{
    if (length < 0 || (!data && length > 0))
        throw std::invalid_argument("JSON data expected.");
    if (!m_handle)
    {
        m_handle = yajl_alloc(&JSONParserCallbacks::Table(), nullptr, this);
        if (!m_handle)
            throw std::runtime_error("Could not create JSON parser.");
        yajl_config(m_handle, yajl_allow_comments, 1);
        yajl_config(m_handle, yajl_dont_validate_strings, 1);
    }

    try
    {
        static const unsigned char kNoData = 0;
        const unsigned char* bytes = data ? reinterpret_cast<const unsigned char*>(data) : &kNoData;
        const yajl_status status = yajl_parse(m_handle, bytes, static_cast<std::size_t>(length));
        if (m_pendingException)
            RethrowPending();
        if (status == yajl_status_error)
            ThrowError();
        if (!isFinal)
            return status == yajl_status_ok;

        const yajl_status completion = yajl_complete_parse(m_handle);
        if (m_pendingException)
            RethrowPending();
        if (completion != yajl_status_ok)
            ThrowError();
        FreeHandle();
        return status == yajl_status_ok;
    }
    catch (...)
    {
        // Only the final chunk ends a document: until then a failed one stays failed, so that
        // later chunks of it are never read as the start of a new document.
        if (isFinal)
            FreeHandle();
        throw;
    }
}

void JSONParser::ThrowError()
{
    std::string text;
    if (m_handle)
    {
        unsigned char* error = yajl_get_error(m_handle, 0, nullptr, 0);
        if (error)
        {
            text = reinterpret_cast<const char*>(error);
            yajl_free_error(m_handle, error);
        }
    }
    // The reader's text ends in a line break; the message is one line.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    throw std::runtime_error("Error while reading data: " + text);
}

void JSONParser::RethrowPending()
{
    std::rethrow_exception(std::exchange(m_pendingException, nullptr));
}

void JSONParser::FreeHandle()
{
    if (m_handle)
    {
        yajl_free(m_handle);
        m_handle = nullptr;
    }
}
