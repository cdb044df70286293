#include "core/XMLParser.h"

#include "core/XMLElementHandler.h"

#include <utility>

XMLParser::XMLParser(XMLElementHandler* handler) : m_handler(handler)
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
        XML_SetElementHandler(m_parser, &XMLParser::OnStartElement, &XMLParser::OnEndElement);
        XML_SetCharacterDataHandler(m_parser, &XMLParser::OnCharacterData);
    }
    const bool accepted = length >= 0 && XML_Parse(m_parser, data, length, isFinal ? 1 : 0) == XML_STATUS_OK;

    if (m_pendingException)
    {
        // The document cannot go on after its reader failed: start afresh next time.
        FreeParser();
        std::rethrow_exception(std::exchange(m_pendingException, nullptr));
    }
    if (isFinal)
        FreeParser();
    return accepted;
}

template <typename Call> void XMLParser::Forward(Call&& call)
{
    // expat may still deliver an event or two after being stopped.
    if (!m_handler || m_pendingException)
        return;
    try
    {
        call(*m_handler);
    }
    catch (...)
    {
        m_pendingException = std::current_exception();
        XML_StopParser(m_parser, XML_FALSE);
    }
}

void XMLCALL XMLParser::OnStartElement(void* userData, const XML_Char* name, const XML_Char** attributes)
{
    static_cast<XMLParser*>(userData)->Forward(
        [&](XMLElementHandler& handler) { handler.StartElement(name, attributes); });
}

void XMLCALL XMLParser::OnEndElement(void* userData, const XML_Char* name)
{
    static_cast<XMLParser*>(userData)->Forward([&](XMLElementHandler& handler) { handler.EndElement(name); });
}

void XMLCALL XMLParser::OnCharacterData(void* userData, const XML_Char* text, int length)
{
    static_cast<XMLParser*>(userData)->Forward(
        [&](XMLElementHandler& handler) { handler.DataHandler(text, length); });
}

void XMLParser::FreeParser()
{
    if (m_parser)
    {
        XML_ParserFree(m_parser);
        m_parser = nullptr;
    }
}
