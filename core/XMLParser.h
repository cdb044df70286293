#pragma once

#include <exception>

#include <expat.h>

class XMLElementHandler;

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
    // thrown by the handler stops the parse, ends the document and is rethrown here.
    virtual bool Parse(const char* data, int length, bool isFinal);

private:
    static void XMLCALL OnStartElement(void* userData, const XML_Char* name, const XML_Char** attributes);
    static void XMLCALL OnEndElement(void* userData, const XML_Char* name);
    static void XMLCALL OnCharacterData(void* userData, const XML_Char* text, int length);

    // Runs one handler call; an exception stops expat and is kept for Parse to rethrow,
    // because it must not unwind through expat's frames.
    template <typename Call> void Forward(Call&& call);
    void FreeParser();

    XMLElementHandler* m_handler;
    XML_Parser m_parser = nullptr;
    std::exception_ptr m_pendingException;
};
