#include "core/XMLParser.h"

#include "core/XMLElementHandler.h"

#include <utility>

#include <expat.h>

// The C callbacks. A handler's exception must not unwind through expat's frames:
// it is kept, expat is stopped, and Parse rethrows it.
struct XMLParserCallbacks
{
    template <typename Call>
    static void Forward(void* userData, Call&& call)
    {
        XMLParser& parser = *static_cast<XMLParser*>(userData);
        // expat may still deliver an event or two after being stopped.
        if (!parser.m_handler || parser.m_pendingException)
            return;
        try
        {
            call(*parser.m_handler);
        }
        catch (...)
        {
            parser.m_pendingException = std::current_exception();
            XML_StopParser(parser.m_parser, XML_FALSE);
        }
    }

    static void XMLCALL StartElement(void* userData, const XML_Char* name, const XML_Char** attributes)
    {
        Forward(userData, [&](XMLElementHandler& handler) { handler.StartElement(name, attributes); });
    }
    static void XMLCALL EndElement(void* userData, const XML_Char* name)
    {
        Forward(userData, [&](XMLElementHandler& handler) { handler.EndElement(name); });
    }
    static void XMLCALL CharacterData(void* userData, const XML_Char* text, int length)
    {
        Forward(userData, [&](XMLElementHandler& handler) { handler.DataHandler(text, length); });
    }
};

XMLParser::XMLParser(XMLElementHandler* handler)
    : m_handler(handler)
{
}

XMLParser::~XMLParser()
{
    FreeParser();
}

void XMLParser::SetHandler(XMLElementHandler* handler)
{
    m_handler = handler;
}

bool XMLParser::Parse(const char* data, int length, bool isFinal)
{
    if (!m_parser)
    {
        m_parser = XML_ParserCreate(nullptr);
        if (!m_parser)
            return false;
        XML_SetUserData(m_parser, this);
        XML_SetElementHandler(m_parser, &XMLParserCallbacks::StartElement, &XMLParserCallbacks::EndElement);
        XML_SetCharacterDataHandler(m_parser, &XMLParserCallbacks::CharacterData);
    }
    const bool accepted = length >= 0 && XML_Parse(m_parser, data, length, isFinal ? 1 : 0) == XML_STATUS_OK;

    if (m_pendingException)
    {
        // The stopped parser refuses the rest of the document; only its final chunk ends it, so
        // that later chunks are never read as the start of a new document.
        if (isFinal)
            FreeParser();
        std::rethrow_exception(std::exchange(m_pendingException, nullptr));
    }
    if (isFinal)
        FreeParser();
    return accepted;
}

void XMLParser::FreeParser()
{
    if (m_parser)
    {
        XML_ParserFree(m_parser);
        m_parser = nullptr;
    }
}
