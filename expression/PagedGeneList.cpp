#include "expression/PagedGeneList.h"

#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "atlas/DecimalText.h"
#include "core/Alerts.h"
#include "core/OSUtils.h"
#include "core/StringUtils.h"
#include "expression/GeneExpression.h"
#include "expression/GeneQuery.h"
#include "expression/PagedGeneListListener.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <stdexcept>

namespace
{

const char* const SEARCHING = "Searching...";
const int IMPORT_CONFIRMATION_COUNT = 5000;

// One line of a gene-list table; a carriage return before the line feed belongs to no field.
std::vector<std::string> SplitRow(std::string line)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    std::vector<std::string> fields;
    StringUtils::SplitLine(std::move(line), fields, ',');
    return fields;
}

std::string FieldOf(const std::vector<std::string>& row, int column)
{
    return column >= 0 && column < static_cast<int>(row.size()) ? row[column] : std::string();
}

// Which columns of a gene-list file hold what; -1 for none.
struct GeneListColumns
{
    int space = -1;
    int geneId = -1;
    int imageSeriesId = -1;
    int name = -1;
    int symbol = -1;
    bool byGeneId = false;
};

GeneListColumns ChooseColumns(const std::vector<std::string>& header)
{
    GeneListColumns columns;
    if (header.size() >= 3 && header[0] == "id" && header[1] == "geneName" && header[2] == "geneSymbol")
    {
        columns.geneId = 0;
        columns.name = 1;
        columns.symbol = 2;
        columns.byGeneId = true;
        return columns;
    }
    if (StringUtils::ToLowerCase(header[0]) == "atlasspace")
    {
        columns.space = 0;
        columns.geneId = 1;
        columns.symbol = 2;
    }
    else
        columns.symbol = 0;
    for (std::size_t i = 2; i < header.size(); ++i)
    {
        const std::string field = StringUtils::ToLowerCase(header[i]);
        if (field == "genename")
            columns.name = static_cast<int>(i);
        else if (field == "geneid")
        {
            columns.geneId = static_cast<int>(i);
            columns.byGeneId = true;
        }
    }
    columns.imageSeriesId = 1;
    return columns;
}

} // namespace

PagedGeneList::PagedGeneList(int pageSize)
    : m_pageSize(pageSize)
{
    if (pageSize <= 0)
        throw std::invalid_argument("Page size cannot be less than or equal to zero.");
}

PagedGeneList::~PagedGeneList()
{
    *m_alive = false;
    m_query.reset();
}

bool PagedGeneList::Notify(int code, int index)
{
    const std::shared_ptr<bool> alive = m_alive;
    const std::vector<PagedGeneListListener*> listeners = m_listeners;
    for (PagedGeneListListener* listener : listeners)
    {
        // One removed by an earlier listener of this round hears nothing more.
        if (std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
            continue;
        listener->PagedGeneListChanged(code, this, index);
        if (!*alive)
            return false;
    }
    return true;
}

void PagedGeneList::NotifyListeners(int code, int index)
{
    Notify(code, index);
}

void PagedGeneList::AddListener(PagedGeneListListener* listener)
{
    if (listener && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void PagedGeneList::RemoveListener(PagedGeneListListener* listener)
{
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void PagedGeneList::SetName(const char* name)
{
    m_name = name ? name : "";
}

void PagedGeneList::CalculateNumPages()
{
    m_numPages = static_cast<int>(std::ceil(static_cast<float>(m_genes.size()) / static_cast<float>(m_pageSize)));
}

GeneExpression* PagedGeneList::GetGene(int index) const
{
    return index >= 0 && index < GetNumGenes() ? m_genes[index].get() : nullptr;
}

void PagedGeneList::AddGene(std::unique_ptr<GeneExpression> dataSet)
{
    m_genes.push_back(std::move(dataSet));
    CalculateNumPages();
    Notify(LIST_GENE_ADDED, GetNumGenes() - 1);
}

void PagedGeneList::AddGene(std::unique_ptr<GeneExpression> dataSet, int index)
{
    if (index < 0)
        throw std::invalid_argument("AddGene index out of range.");
    if (index >= GetNumGenes())
    {
        m_genes.resize(static_cast<std::size_t>(index) + 1);
        CalculateNumPages();
    }
    m_genes[index] = std::move(dataSet);
    Notify(LIST_GENE_ADDED, index);
}

void PagedGeneList::RemoveGenes(bool forNewSearch)
{
    m_genes.clear();
    m_currentPage = 0;
    m_numPages = 0;
    m_sizeKnown = false;
    Notify(forNewSearch ? LIST_CLEARED_FOR_SEARCH : LIST_CLEARED, 0);
}

void PagedGeneList::Resize(int size)
{
    if (size < 0)
        throw std::invalid_argument("Gene list size out of range.");
    m_genes.resize(static_cast<std::size_t>(size));
    CalculateNumPages();
    m_sizeKnown = true;
    Notify(LIST_SIZE_KNOWN, 0);
}

void PagedGeneList::GetStatusString(std::string& out) const
{
    out = m_status;
    if (m_sizeKnown)
        out += "     " + std::to_string(m_genes.size()) + " experiments";
    if (m_genes.empty())
        return;
    const long long first = static_cast<long long>(m_pageSize) * m_currentPage + 1;
    const long long last = std::min<long long>(static_cast<long long>(m_currentPage + 1) * m_pageSize,
                                               static_cast<long long>(m_genes.size()));
    out += ", displaying " + std::to_string(first) + "-" + std::to_string(last);
}

void PagedGeneList::ChangePage(int page)
{
    // A list without pages has only its first page: a page past it would show nothing and could not be
    // left by the paging controls.
    const int p = std::clamp(page, 0, std::max(m_numPages - 1, 0));
    if (p == m_currentPage)
        return;
    m_currentPage = p;
    if (!Notify(LIST_PAGE_CHANGED, p))
        return;
    const long long size = GetNumGenes();
    const long long first = std::min(static_cast<long long>(p) * m_pageSize, size);
    const long long end = (m_numPages == 0 || p == m_numPages - 1) ? size : std::min(first + m_pageSize, size);
    const bool missing = std::any_of(m_genes.begin() + first, m_genes.begin() + end,
                                     [](const std::unique_ptr<GeneExpression>& row) { return !row; });
    if (missing)
    {
        if (!m_query)
            return;
        m_status = SEARCHING;
        if (Notify(LIST_STATUS_CHANGED, p))
            m_query->RequestPage(p);
        return;
    }
    for (long long i = first; i < end; ++i)
        if (!Notify(LIST_GENE_ADDED, static_cast<int>(i)))
            return;
}

void PagedGeneList::AbortSearch()
{
    // The query stops first, so that a listener may start the next search from the notification.
    if (m_query)
        m_query->Abort();
    m_status.clear();
    Notify(LIST_STATUS_CHANGED, 0);
}

void PagedGeneList::GeneQueryResponseReceived(const GeneQuery*)
{
    m_status = "Receiving results list...";
    Notify(LIST_STATUS_CHANGED, 0);
}

void PagedGeneList::GeneQueryComplete(const GeneQuery*)
{
    m_status.clear();
    m_sizeKnown = true;
    if (Notify(LIST_SIZE_KNOWN, 0))
        Notify(LIST_QUERY_COMPLETE, 0);
}

void PagedGeneList::GeneQueryError(const GeneQuery*, const std::string& message)
{
    m_status = "Error: " + message;
    Notify(LIST_QUERY_FAILED, 0);
}

bool PagedGeneList::BeginSearch(Atlas* atlas, const std::string& projectCode, bool byGeneId)
{
    m_canSearchByGeneId = byGeneId;
    m_atlas = atlas;
    m_projectCode = projectCode;
    if (!m_query)
        m_query = std::make_unique<GeneQuery>(this, this);
    m_status = SEARCHING;
    return true;
}

template <typename Start>
void PagedGeneList::RunSearch(Atlas* atlas, const std::string& projectCode, bool byGeneId, const std::string& name,
                              Start&& start)
{
    const std::shared_ptr<bool> alive = m_alive;
    try
    {
        BeginSearch(atlas, projectCode, byGeneId);
        start(*m_query);
    }
    catch (...)
    {
        // Searches report through the status and code 7 only.
    }
    if (*alive)
        m_name = name;
}

void PagedGeneList::Search(Atlas* atlas, const std::string& projectCode, const std::string& term,
                           const std::string& listName)
{
    RunSearch(atlas, projectCode, false, listName, [&](GeneQuery& query) { query.Search(atlas, term); });
}

void PagedGeneList::Search(Atlas* atlas, const std::string& projectCode, int geneId, const std::string& listName)
{
    RunSearch(atlas, projectCode, true, listName, [&](GeneQuery& query) { query.Search(atlas, geneId); });
}

void PagedGeneList::Quellar(Atlas* atlas, const std::string& projectCode, int seedId, int structureScope,
                            const std::string& listName, int extraScope, int)
{
    RunSearch(atlas, projectCode, true, listName,
              [&](GeneQuery& query) { query.Quellar(atlas, seedId, structureScope, extraScope); });
}

void PagedGeneList::DifferentialSearch(Atlas* atlas, const std::string& projectCode, unsigned long structureA,
                                       unsigned long structureB, int differentialOption)
{
    // A structure the ontology lacks (or an ontology that cannot be read) names the list by its id.
    std::string name = std::to_string(structureB);
    try
    {
        const std::shared_ptr<BrainOntology> ontology = atlas ? atlas->GetOntology() : nullptr;
        const AnnotationLabel* label = ontology ? ontology->GetAnnotationLabelByDatabaseId(structureB) : nullptr;
        if (label && label->index != 0)
            name = label->abbreviation;
    }
    catch (const std::exception&)
    {
    }
    RunSearch(atlas, projectCode, false, name,
              [&](GeneQuery& query) { query.DifferentialSearch(atlas, structureA, structureB, differentialOption); });
}

void PagedGeneList::LoadFile(Atlas* atlas, const char* path)
{
    const std::shared_ptr<bool> alive = m_alive;
    if (m_query)
        m_query->Abort();
    RemoveGenes(true);
    if (!*alive)
        return;
    const std::string file = path ? path : "";
    ReadGeneList(atlas, file);
}

void PagedGeneList::EndImport()
{
    CalculateNumPages();
    m_status.clear();
    m_sizeKnown = true;
    Notify(LIST_SIZE_KNOWN, 0);
}

void PagedGeneList::ReadGeneList(Atlas* atlas, const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("Gene list file could not be opened: " + path);
    m_name = path.substr(path.find_last_of(OSUtils::DirectorySeparator()) + 1);
    m_canSearchByGeneId = false;
    m_atlas = atlas;
    m_projectCode.clear();
    if (!atlas)
        throw std::invalid_argument("Missing atlas");
    AtlasSpace* onlySpace = atlas->GetNumSpaces() == 1 ? atlas->GetSpace(0u) : nullptr;
    m_status = "Loading gene list file...";

    const std::shared_ptr<bool> alive = m_alive;
    try
    {
        std::string line;
        if (std::getline(in, line))
        {
            const std::vector<std::string> header = SplitRow(line);
            if (header.size() < 2)
                throw std::runtime_error("The gene list file is not in the expected format: " + path);
            const GeneListColumns columns = ChooseColumns(header);
            m_canSearchByGeneId = columns.byGeneId;
            int imported = 0;
            bool confirmed = false;
            while (std::getline(in, line))
            {
                const std::vector<std::string> row = SplitRow(line);
                const int geneId = columns.geneId >= 0 ? DecimalInt(FieldOf(row, columns.geneId)) : 0;
                const int seriesId = columns.imageSeriesId >= 0 ? DecimalInt(FieldOf(row, columns.imageSeriesId)) : 0;
                if (geneId == 0 && seriesId == 0)
                    continue;
                AtlasSpace* space = onlySpace;
                if (!space)
                {
                    const std::string spaceName = FieldOf(row, columns.space);
                    space = spaceName.empty() ? nullptr : atlas->GetSpace(spaceName);
                    if (!space)
                        continue;
                }
                if (imported == IMPORT_CONFIRMATION_COUNT && !confirmed)
                {
                    if (!ShowConfirmationBox("5000 data sets have been imported so far. Do you want to continue?"))
                        break;
                    confirmed = true;
                }
                auto dataSet =
                    std::make_unique<GeneExpression>(FieldOf(row, columns.name).c_str(),
                                                     FieldOf(row, columns.symbol).c_str(), "", seriesId, geneId, -1.0f);
                dataSet->AddAtlasSpace(space);
                m_genes.push_back(std::move(dataSet));
                if (imported++ < m_pageSize && !Notify(LIST_GENE_ADDED, GetNumGenes() - 1))
                    return;
            }
        }
    }
    catch (...)
    {
        if (*alive)
            EndImport();
        throw;
    }
    EndImport();
}
