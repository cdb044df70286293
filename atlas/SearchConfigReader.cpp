#include "atlas/SearchConfigReader.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "atlas/DecimalText.h"
#include "atlas/ParseXMLFile.h"
#include "atlas/SearchConfig.h"

SearchConfigReader::SearchConfigReader(const char* path, SearchConfig* config)
    : m_parser(this)
    , m_config(config)
{
    if (!config)
        throw std::invalid_argument("Unexpected NULL pointer.");
    if (!path)
        throw std::invalid_argument("Search configuration file path not specified.");
    ParseXMLFile(m_parser, path, "Search configuration file could not be opened.",
                 "Error parsing search configuration file.");
    if (config->GetNumAnatomicSearchDomains() == 0 || config->GetNumQuellarDomains() == 0)
        throw std::runtime_error("Search configuration file is not in the expected format.");
}

void SearchConfigReader::StartElement(const char* name, const char** attributes)
{
    auto attribute = [attributes](const char* key) -> const char* {
        for (const char** a = attributes; a && a[0] && a[1]; a += 2)
            if (std::strcmp(a[0], key) == 0)
                return a[1];
        return nullptr;
    };

    if (std::strcmp(name, "SearchDomains") == 0)
    {
        if (const char* version = attribute("version"))
            m_config->SetVersion(DecimalInt(version));
    }
    else if (std::strcmp(name, "AnatomicSearch") == 0)
        m_section = AnatomicSearch;
    else if (std::strcmp(name, "Quellar") == 0)
    {
        m_section = Quellar;
        const char* coronal = attribute("coronal");
        const char* sagittal = attribute("sagittal");
        if (coronal)
            m_config->SetQuellarCoronalAllowed(std::strcmp(coronal, "true") == 0);
        if (sagittal)
            m_config->SetQuellarSagittalAllowed(std::strcmp(sagittal, "true") == 0);
    }
    else if (std::strcmp(name, "Domain") == 0)
    {
        const char* id = attribute("id");
        const char* indent = attribute("indent");
        const int databaseId = id ? DecimalInt(id) : -1;
        const int level = indent ? DecimalInt(indent) : 0;
        if (databaseId < 0 || m_section == NoSection)
            return;
        if (m_section == Quellar)
            m_config->AddQuellarDomain(databaseId, level);
        else
            m_config->AddAnatomicSearchDomain(databaseId, level);
    }
}
