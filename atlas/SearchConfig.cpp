#include "atlas/SearchConfig.h"

#include <stdexcept>

#include <boost/filesystem/operations.hpp>
#include <boost/filesystem/path.hpp>

#include "atlas/BrainOntology.h"
#include "atlas/SearchConfigReader.h"

std::string SearchConfig::FilePath(const std::string& atlasFolder)
{
    return (boost::filesystem::path(atlasFolder) / "SearchDomains.xml").string();
}

SearchConfig::SearchConfig(std::shared_ptr<const BrainOntology> ontology, const std::string& atlasFolder)
    : m_ontology(std::move(ontology))
{
    if (!m_ontology)
        throw std::invalid_argument("Unexpected NULL pointer.");
    const boost::filesystem::path path = FilePath(atlasFolder);
    boost::system::error_code error;
    if (!boost::filesystem::exists(path, error))
        return;
    SearchConfigReader reader(path.string().c_str(), this);
}

void SearchConfig::SetVersion(int version)
{
    m_version = version;
}

int SearchConfig::GetVersion() const
{
    return m_version;
}

int SearchConfig::GetNumQuellarDomains() const
{
    return static_cast<int>(m_quellarDomains.size());
}

int SearchConfig::GetNumAnatomicSearchDomains() const
{
    return static_cast<int>(m_anatomicSearchDomains.size());
}

const AnnotationLabel* SearchConfig::GetQuellarDomain(int i) const
{
    return m_quellarDomains[static_cast<size_t>(i)].label;
}

const AnnotationLabel* SearchConfig::GetAnatomicSearchDomain(int i) const
{
    return m_anatomicSearchDomains[static_cast<size_t>(i)].label;
}

int SearchConfig::GetQuellarIndent(int i) const
{
    return m_quellarDomains[static_cast<size_t>(i)].indent;
}

int SearchConfig::GetAnatomicSearchIndent(int i) const
{
    return m_anatomicSearchDomains[static_cast<size_t>(i)].indent;
}

SearchConfig::Domain SearchConfig::MakeDomain(int databaseId, int indent) const
{
    return Domain{m_ontology->GetAnnotationLabelByDatabaseId(static_cast<unsigned long>(databaseId)), indent};
}

void SearchConfig::AddQuellarDomain(int databaseId, int indent)
{
    m_quellarDomains.push_back(MakeDomain(databaseId, indent));
}

void SearchConfig::AddAnatomicSearchDomain(int databaseId, int indent)
{
    m_anatomicSearchDomains.push_back(MakeDomain(databaseId, indent));
}

void SearchConfig::SetQuellarCoronalAllowed(bool allowed)
{
    m_quellarCoronalAllowed = allowed;
}

void SearchConfig::SetQuellarSagittalAllowed(bool allowed)
{
    m_quellarSagittalAllowed = allowed;
}

bool SearchConfig::GetQuellarCoronalAllowed() const
{
    return m_quellarCoronalAllowed;
}

bool SearchConfig::GetQuellarSagittalAllowed() const
{
    return m_quellarSagittalAllowed;
}
