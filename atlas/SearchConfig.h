#pragma once

#include <memory>
#include <string>
#include <vector>

class AnnotationLabel;
class BrainOntology;

// The structures an atlas offers as search domains, from its optional "SearchDomains.xml": one list
// for the anatomic search and one for the similar-gene (Quellar) search, each in file order with an
// indent for display.
class SearchConfig
{
public:
    struct Domain
    {
        const AnnotationLabel* label;
        int indent;
    };

    // The atlas builds its search domains from its ontology and its folder; a folder without
    // "SearchDomains.xml" gives empty lists, a broken file throws.
    SearchConfig(std::shared_ptr<const BrainOntology> ontology, const std::string& atlasFolder);
    virtual ~SearchConfig() = default;
    // The file of an atlas folder that the search domains are read from.
    static std::string FilePath(const std::string& atlasFolder);

    virtual void SetVersion(int version);
    virtual int GetVersion() const;
    virtual int GetNumQuellarDomains() const;
    virtual int GetNumAnatomicSearchDomains() const;
    // The indexed getters expect i below the count.
    virtual const AnnotationLabel* GetQuellarDomain(int i) const;
    virtual const AnnotationLabel* GetAnatomicSearchDomain(int i) const;
    virtual int GetQuellarIndent(int i) const;
    virtual int GetAnatomicSearchIndent(int i) const;
    // An id the ontology lacks adds "No Annotation".
    virtual void AddQuellarDomain(int databaseId, int indent);
    virtual void AddAnatomicSearchDomain(int databaseId, int indent);
    virtual void SetQuellarCoronalAllowed(bool allowed);
    virtual void SetQuellarSagittalAllowed(bool allowed);
    virtual bool GetQuellarCoronalAllowed() const;
    virtual bool GetQuellarSagittalAllowed() const;

private:
    Domain MakeDomain(int databaseId, int indent) const;

    std::vector<Domain> m_anatomicSearchDomains;
    std::vector<Domain> m_quellarDomains;
    // Shared so that the labels the domains point to live as long as the domains.
    std::shared_ptr<const BrainOntology> m_ontology;
    int m_version = 0;
    bool m_quellarCoronalAllowed = false;
    bool m_quellarSagittalAllowed = false;
};
