#pragma once

// Receiver of the events of an XMLParser. A handler may throw: the parser stops
// and the exception reaches the caller of XMLParser::Parse.
class XMLElementHandler
{
public:
    virtual ~XMLElementHandler() = default;

    // attributes: null-terminated array of alternating names and values.
    virtual void StartElement(const char* name, const char** attributes) = 0;
    virtual void EndElement(const char* name) = 0;
    // A run of character data, not terminated; one text node may arrive in several runs.
    virtual void DataHandler(const char* text, int length) = 0;
};
