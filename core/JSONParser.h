#pragma once

#include <exception>

class JSONElementHandler;
struct yajl_handle_t;

// Event-style JSON reading with yajl (comments allowed, strings not validated as
// UTF-8), chunk by chunk as the bytes arrive.
class JSONParser
{
public:
    // Throws std::invalid_argument "JSON parse handler expected." for a null handler.
    explicit JSONParser(JSONElementHandler* handler);
    virtual ~JSONParser();

    JSONParser(const JSONParser&) = delete;
    JSONParser& operator=(const JSONParser&) = delete;

    // Throws std::invalid_argument "JSON parse handler expected." for a null handler.
    virtual void SetHandler(JSONElementHandler* handler);

    // Feeds one chunk of a document; the chunk with isFinal set completes it and the
    // next call starts a new document. A syntax error throws std::runtime_error
    // "Error while reading data: %1%". A handler answering false stops the parse:
    // a non-final call then returns false, a final call throws. An exception thrown
    // by the handler is rethrown here. A stopped or failed document stays so (later
    // chunks throw) until the final call, which always ends it.
    virtual bool Parse(const char* data, int length, bool isFinal);

    // Throws "Error while reading data: " with the reader's short error text.
    [[noreturn]] virtual void ThrowError();

private:
    friend struct JSONParserCallbacks;

    void FreeHandle();
    [[noreturn]] void RethrowPending();

    JSONElementHandler* m_handler;
    yajl_handle_t* m_handle = nullptr;
    std::exception_ptr m_pendingException;
};
