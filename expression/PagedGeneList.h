#pragma once

#include "expression/GeneQueryCompletionListener.h"

#include <memory>
#include <string>
#include <vector>

class Atlas;
class GeneExpression;
class GeneQuery;
class PagedGeneListListener;

// The result list behind a search tab: rows of data sets filled page by page by its own GeneQuery (or at
// once from a gene-list file), a status text and listeners. A row is null until it arrives. The list owns
// its rows; views keep pointers to the rows they show, so rows are only destroyed by emptying the list,
// replacing a row or shrinking it explicitly. Main thread only.
//
// Listeners may delete the list inside any notification; it then touches nothing of its own.
class PagedGeneList : public GeneQueryCompletionListener
{
public:
    // Throws std::invalid_argument "Page size cannot be less than or equal to zero." for pageSize <= 0.
    explicit PagedGeneList(int pageSize);
    ~PagedGeneList() override;

    PagedGeneList(const PagedGeneList&) = delete;
    PagedGeneList& operator=(const PagedGeneList&) = delete;

    void GeneQueryResponseReceived(const GeneQuery* query) override;
    void GeneQueryComplete(const GeneQuery* query) override;
    void GeneQueryError(const GeneQuery* query, const std::string& message) override;

    virtual void SetName(const char* name);
    virtual const std::string& GetName() const { return m_name; }
    virtual const std::string& GetProjectCode() const { return m_projectCode; }
    // Fills the list from a gene-list CSV file. Throws std::runtime_error "Gene list file could not be
    // opened: <path>" or "The gene list file is not in the expected format: <path>", and
    // std::invalid_argument "Missing atlas"; rows read before a failure stay.
    virtual void LoadFile(Atlas* atlas, const char* path);
    // The searches empty the list and request page 0; failures show in the status (code 7), never thrown.
    virtual void Search(Atlas* atlas, const std::string& projectCode, const std::string& term,
                        const std::string& listName);
    virtual void Search(Atlas* atlas, const std::string& projectCode, int geneId, const std::string& listName);
    virtual void Quellar(Atlas* atlas, const std::string& projectCode, int seedId, int structureScope,
                         const std::string& listName, int extraScope, int finalOption);
    // The list is named after structure B (its abbreviation, or its id when the ontology lacks it).
    virtual void DifferentialSearch(Atlas* atlas, const std::string& projectCode, unsigned long structureA,
                                    unsigned long structureB, int differentialOption);
    virtual void AbortSearch();
    virtual bool CanSearchByGeneId() const { return m_canSearchByGeneId; }
    // Shows a page, requesting it when any of its rows is missing.
    virtual void ChangePage(int page);
    virtual int GetCurrentPage() const { return m_currentPage; }
    virtual int GetNumPages() const { return m_numPages; }
    // The status text, the size when known and the rows of the page shown.
    virtual void GetStatusString(std::string& out) const;
    virtual void AddGene(std::unique_ptr<GeneExpression> dataSet);
    // Grows the list to reach index; a row already there is destroyed. Throws std::invalid_argument
    // "AddGene index out of range." for a negative index.
    virtual void AddGene(std::unique_ptr<GeneExpression> dataSet, int index);
    virtual int GetNumGenes() const { return static_cast<int>(m_genes.size()); }
    // Null for a row not received yet (or an index outside the list).
    virtual GeneExpression* GetGene(int index) const;
    virtual void RemoveGenes(bool forNewSearch);
    // Throws std::invalid_argument "Gene list size out of range." for a negative size.
    virtual void Resize(int size);
    virtual void AddListener(PagedGeneListListener* listener);
    virtual void RemoveListener(PagedGeneListListener* listener);
    virtual void NotifyListeners(int code, int index);
    virtual void CalculateNumPages();

    Atlas* GetAtlas() const { return m_atlas; }
    const std::string& GetStatus() const { return m_status; }
    bool IsSizeKnown() const { return m_sizeKnown; }
    int GetPageSize() const { return m_pageSize; }

private:
    // Calls each listener; false when one of them deleted the list.
    bool Notify(int code, int index);
    // Common start of every search; false when the search cannot start.
    bool BeginSearch(Atlas* atlas, const std::string& projectCode, bool byGeneId);
    template <typename Start>
    void RunSearch(Atlas* atlas, const std::string& projectCode, bool byGeneId, const std::string& name, Start&& start);
    void ReadGeneList(Atlas* atlas, const std::string& path);
    void EndImport();

    std::vector<PagedGeneListListener*> m_listeners;
    std::vector<std::unique_ptr<GeneExpression>> m_genes;
    std::string m_name;
    std::string m_projectCode;
    std::string m_status;
    int m_currentPage = 0;
    int m_numPages = 0;
    int m_pageSize;
    bool m_sizeKnown = false;
    bool m_canSearchByGeneId = false;
    std::unique_ptr<GeneQuery> m_query;
    Atlas* m_atlas = nullptr;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
