#pragma once

#include <exception>

class XMLElementHandler;
struct XML_ParserStruct;

// Event-style XML reading with expat, chunk by chunk as the bytes arrive.
class XMLParser
{
public:
    // The handler is not owned and may be null (events are then dropped).
    explicit XMLParser(XMLElementHandler* handler = nullptr);
    virtual ~XMLParser();

    XMLParser(const XMLParser&) = delete;
    XMLParser& operator=(const XMLParser&) = delete;

    // Events of a running parse go to the new handler from then on.
    virtual void SetHandler(XMLElementHandler* handler);

    // Feeds one chunk of a document; the chunk with isFinal set ends it, and the
    // next call starts a new document. Returns false when the document is not well
    // formed; callers stop feeding and report in their own words. An exception
    // thrown by the handler stops the parse and is rethrown here; later chunks of
    // that document are refused (false) until its final chunk.
    virtual bool Parse(const char* data, int length, bool isFinal);

private:
    friend struct XMLParserCallbacks;

    void FreeParser();

    XMLElementHandler* m_handler;
    XML_ParserStruct* m_parser = nullptr;
    std::exception_ptr m_pendingException;
};
