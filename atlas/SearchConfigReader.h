#pragma once

#include "core/XMLElementHandler.h"
#include "core/XMLParser.h"

class SearchConfig;

// Reads "SearchDomains.xml" into a SearchConfig in its constructor; a file that is not there,
// not well-formed, or lacks either list of domains throws.
class SearchConfigReader : public XMLElementHandler
{
public:
    SearchConfigReader(const char* path, SearchConfig* config);
    ~SearchConfigReader() override = default;

    SearchConfigReader(const SearchConfigReader&) = delete;
    SearchConfigReader& operator=(const SearchConfigReader&) = delete;

    void StartElement(const char* name, const char** attributes) override;
    // Sections stay current until another one starts; text carries nothing.
    void EndElement(const char*) override {}
    void DataHandler(const char*, int) override {}

private:
    enum Section
    {
        NoSection,
        AnatomicSearch,
        Quellar
    };

    XMLParser m_parser;
    SearchConfig* m_config;
    Section m_section = NoSection;
};
