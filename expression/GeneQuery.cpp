#include "expression/GeneQuery.h"

#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/DecimalText.h"
#include "core/NetFile.h"
#include "core/StringUtils.h"
#include "expression/GeneExpression.h"
#include "expression/GeneQueryCompletionListener.h"
#include "expression/PagedGeneList.h"

#include <boost/format.hpp>

#include <algorithm>
#include <climits>
#include <stdexcept>

const char* const GeneQuery::READ_ERROR = "The search results could not be read.";

namespace
{

const unsigned int ADULT_MOUSE_ID = 310;
const unsigned int MOUSE_CONNECTIVITY_ID = 378;
const unsigned int DEVELOPING_MOUSE_ID = 350;
const char* const GENE_ID_TERM = "geneid=";
// A text node longer than this is no field of a search record; the rest of it is dropped.
const std::size_t MAX_TEXT = 1 << 20;

enum Field
{
    GENE_ID,
    IMAGE_SERIES_ID,
    GENE_SYMBOL,
    GENE_NAME,
    STORAGE_DIRECTORY,
    PLANE,
    SCORE,
    SPACE_NAME,
    CORRELATION_SEARCH_AVAILABLE
};

struct FieldPath
{
    const char* genePath;
    const char* projectionPath; // null: not read in projection mode
    Field field;
};

const FieldPath FIELD_PATHS[] = {
    {"gene/id", "data-set/structure-id", GENE_ID},
    {"image-series/id", "data-set/id", IMAGE_SERIES_ID},
    {"gene/gene-symbol", "data-set/abbreviation", GENE_SYMBOL},
    {"gene/name", "data-set/name", GENE_NAME},
    {"image-series/storage-directory", "section-data-set/storage-directory", STORAGE_DIRECTORY},
    {"image-series/plane-of-section", nullptr, PLANE},
    {"image-series/score", "data-set/score", SCORE},
    {"image-series/age", nullptr, SPACE_NAME},
    {"image-series/correlation-search-available", nullptr, CORRELATION_SEARCH_AVAILABLE},
};

const char* const GENE_RECORD_PATH = "image-series/image-series";
const char* const PROJECTION_RECORD_PATH = "data-sets/data-set";

// Characters that stay as they are in a query value: the unreserved ones, and the separators of the
// structured terms ("genesym=", "structac=CA1[xlevel=1;xdensity=2]").
bool KeptInQueryValue(unsigned char c)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
        return true;
    switch (c)
    {
    case '-':
    case '.':
    case '_':
    case '~':
    case '=':
    case '[':
    case ']':
    case ';':
    case ',':
    case ':':
    case '/':
    case '*':
        return true;
    default:
        return false;
    }
}

class Filler
{
public:
    explicit Filler(const std::string& pattern)
    {
        if (pattern.empty())
            throw std::runtime_error("The atlas has no URL for this search.");
        m_format.parse(pattern);
    }
    template <typename T>
    Filler& operator%(const T& value)
    {
        m_format % value;
        return *this;
    }
    std::string str() const { return m_format.str(); }

private:
    boost::format m_format;
};

// The announced total: leading digits, at most MAX_ENTRIES.
int ReadTotal(const char* text)
{
    const long long value = DecimalLong(text);
    return static_cast<int>(std::clamp<long long>(value, 0, GeneQuery::MAX_ENTRIES));
}

} // namespace

GeneQuery::GeneQuery(PagedGeneList* resultList, GeneQueryCompletionListener* listener)
    : m_listener(listener)
    , m_parser(this)
    , m_resultList(resultList)
{
}

GeneQuery::~GeneQuery()
{
    m_resultList = nullptr;
    *m_alive = false;
    AbortTransfer();
}

void GeneQuery::AbortTransfer()
{
    NetFile* transfer = m_transfer;
    m_transfer = nullptr;
    if (transfer)
        transfer->Abort();
}

void GeneQuery::ResetReader()
{
    // An empty final chunk ends the document, so that the next answer starts a new one.
    m_parser.Parse("", 0, true);
    m_pending.clear();
    m_depth = 0;
    m_text.clear();
    m_record.Reset();
}

void GeneQuery::Abort()
{
    ++m_requestSerial;
    AbortTransfer();
    ResetReader();
}

void GeneQuery::StartSearch(Atlas* atlas)
{
    const std::shared_ptr<bool> alive = m_alive;
    m_atlas = atlas;
    if (m_resultList)
        m_resultList->RemoveGenes(true);
    if (*alive)
        RequestPage(0);
}

void GeneQuery::Search(Atlas* atlas, const std::string& term)
{
    Abort();
    m_term = term;
    m_geneId = m_seed = m_structureScope = 0;
    m_structureA = m_structureB = 0;
    StartSearch(atlas);
}

void GeneQuery::Search(Atlas* atlas, int geneId)
{
    Abort();
    m_term.clear();
    m_geneId = geneId;
    m_seed = m_structureScope = 0;
    m_structureA = m_structureB = 0;
    StartSearch(atlas);
}

void GeneQuery::Quellar(Atlas* atlas, int seedId, int structureScope, int extraScope)
{
    Abort();
    m_term.clear();
    m_seed = seedId;
    m_structureScope = structureScope;
    m_extraScope = extraScope;
    m_geneId = 0;
    m_structureA = m_structureB = 0;
    StartSearch(atlas);
}

void GeneQuery::DifferentialSearch(Atlas* atlas, unsigned long structureA, unsigned long structureB,
                                   int differentialOption)
{
    Abort();
    m_term.clear();
    m_structureA = structureA;
    m_structureB = structureB;
    m_differentialOption = differentialOption;
    m_geneId = m_seed = m_structureScope = 0;
    StartSearch(atlas);
}

std::string GeneQuery::SearchTerm() const
{
    // The server is asked for every series of a gene by a term of its own.
    if (m_term.empty() && m_geneId != 0)
        return GENE_ID_TERM + std::to_string(m_geneId);
    return m_term;
}

std::string GeneQuery::EncodeQueryValue(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text)
    {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (KeptInQueryValue(byte))
        {
            encoded += c;
            continue;
        }
        encoded += '%';
        encoded += hex[byte >> 4];
        encoded += hex[byte & 15];
    }
    return encoded;
}

std::string GeneQuery::PageUrl(int page) const
{
    if (!m_atlas)
        throw std::runtime_error("No atlas to search.");
    const int row =
        static_cast<int>(std::min<long long>(static_cast<long long>(std::max(page, 0)) * m_pageSize, INT_MAX));
    const char* code = m_projectCode.c_str();
    const std::string term = EncodeQueryValue(SearchTerm());
    const unsigned int id = m_atlas->GetAtlasId();
    if (id == ADULT_MOUSE_ID || id == MOUSE_CONNECTIVITY_ID)
    {
        if (m_seed >= 1)
            return (Filler(m_atlas->GetCorrelationSearchUrl(code)) % row % m_pageSize % m_seed % "both").str();
        if (m_structureB != 0)
            return (Filler(m_atlas->GetDifferentialSearchUrl(code)) % row % m_pageSize % m_structureA % m_structureB %
                    "coronal")
                .str();
        return (Filler(m_atlas->GetGeneSearchUrl(code)) % row % m_pageSize % term).str();
    }
    if (id == DEVELOPING_MOUSE_ID && m_atlas->GetVersion() >= 4)
    {
        if (m_seed >= 1)
            return (Filler(m_atlas->GetCorrelationSearchUrl(code)) % row % m_pageSize % m_seed).str();
        return (Filler(m_atlas->GetGeneSearchUrl(code)) % row % m_pageSize % term).str();
    }
    return (Filler(m_atlas->GetGeneSearchUrl("")) % term).str();
}

void GeneQuery::RequestPage(int page)
{
    Abort();
    m_nextRow = static_cast<int>(std::min<long long>(static_cast<long long>(std::max(page, 0)) * m_pageSize, INT_MAX));
    try
    {
        m_projectCode = m_resultList ? m_resultList->GetProjectCode() : std::string();
        m_transfer = NetFile::Create(PageUrl(page), this, false);
    }
    catch (const std::exception& error)
    {
        Fail(error.what());
    }
    catch (...)
    {
        Fail("The search could not be sent.");
    }
}

void GeneQuery::Fail(const std::string& message)
{
    if (m_listener)
        m_listener->GeneQueryError(this, message);
}

void GeneQuery::ResponseReceived(const std::string& mimeType, unsigned long)
{
    // A web page in place of the results (a portal or error page with status 200).
    if (StringUtils::ToLowerCase(mimeType) == "text/html")
    {
        FailReading();
        return;
    }
    if (m_listener)
        m_listener->GeneQueryResponseReceived(this);
}

bool GeneQuery::Feed(const char* data, unsigned long size, bool isFinal)
{
    try
    {
        // The parser takes int-sized pieces.
        const unsigned long piece = 1UL << 30;
        while (size > piece)
        {
            if (!m_parser.Parse(data, static_cast<int>(piece), false))
                return false;
            data += piece;
            size -= piece;
        }
        return m_parser.Parse(data, static_cast<int>(size), isFinal);
    }
    catch (...)
    {
        return false;
    }
}

bool GeneQuery::Deliver()
{
    std::vector<Delivery> pending = std::move(m_pending);
    m_pending.clear();
    const std::shared_ptr<bool> alive = m_alive;
    const unsigned int serial = m_requestSerial;
    for (Delivery& delivery : pending)
    {
        PagedGeneList* list = m_resultList;
        if (!list)
            return true;
        // A smaller total never shrinks the list: the views keep pointers to the rows they show.
        if (delivery.sizeTo >= 0)
            list->Resize(std::max(delivery.sizeTo, list->GetNumGenes()));
        else
            list->AddGene(std::move(delivery.dataSet), delivery.row);
        if (!*alive || m_requestSerial != serial)
            return false;
    }
    return true;
}

void GeneQuery::FailReading()
{
    AbortTransfer();
    if (!Deliver())
        return;
    ResetReader();
    Fail(READ_ERROR);
}

void GeneQuery::DataReceived(const void* data, unsigned long size)
{
    if (!Feed(static_cast<const char*>(data), size, false))
    {
        FailReading();
        return;
    }
    Deliver();
}

void GeneQuery::DownloadComplete(const void*, unsigned long)
{
    m_transfer = nullptr;
    const bool wellFormed = Feed("", 0, true);
    if (!Deliver())
        return;
    ResetReader();
    if (!wellFormed)
        Fail(READ_ERROR);
    else if (m_listener)
        m_listener->GeneQueryComplete(this);
}

void GeneQuery::DownloadFailed(const std::string& message)
{
    m_transfer = nullptr;
    ResetReader();
    Fail(message);
}

void GeneQuery::StartElement(const char* name, const char** attributes)
{
    XMLElementHandlerStack::StartElement(name, attributes);
    m_text.clear();
    if (++m_depth != 1 || !attributes)
        return;
    for (const char** attribute = attributes; attribute[0] && attribute[1]; attribute += 2)
    {
        if (std::string(attribute[0]) != "total-entries")
            continue;
        m_totalEntries = ReadTotal(attribute[1]);
        if (m_totalEntries > 0)
        {
            Delivery sizing;
            sizing.sizeTo = m_totalEntries;
            m_pending.push_back(std::move(sizing));
        }
    }
}

void GeneQuery::DataHandler(const char* text, int length)
{
    if (length > 0 && m_text.size() < MAX_TEXT)
        m_text.append(text, std::min<std::size_t>(static_cast<std::size_t>(length), MAX_TEXT - m_text.size()));
}

bool GeneQuery::InProjectionMode() const
{
    return m_atlas && m_atlas->HasProjectionSearch() && m_atlas->GetProjectionProjectCode() == m_projectCode;
}

void GeneQuery::EndElement(const char* name)
{
    XMLElementHandlerStack::EndElement(name);
    if (m_depth > 0)
        --m_depth;
    const char* parent = m_depth > 0 ? ElementAt(0) : nullptr;
    if (!parent)
        return;
    const std::string element(name);
    const std::string path = std::string(parent) + "/" + element;
    const bool projection = InProjectionMode();
    if (StoreField(path, projection))
        return;
    if (path == (projection ? PROJECTION_RECORD_PATH : GENE_RECORD_PATH))
        MakeDataSet();
    if (element == "gene")
        m_record.Reset();
}

bool GeneQuery::StoreField(const std::string& path, bool projection)
{
    const auto found = std::find_if(std::begin(FIELD_PATHS), std::end(FIELD_PATHS), [&](const FieldPath& entry) {
        const char* wanted = projection ? entry.projectionPath : entry.genePath;
        return wanted && path == wanted;
    });
    if (found == std::end(FIELD_PATHS))
        return false;
    const std::string lower = StringUtils::ToLowerCase(m_text);
    switch (found->field)
    {
    case GENE_ID:
        m_record.geneId = DecimalInt(m_text);
        break;
    case IMAGE_SERIES_ID:
        m_record.imageSeriesId = DecimalInt(m_text);
        break;
    case GENE_SYMBOL:
        m_record.geneSymbol = m_text;
        break;
    case GENE_NAME:
        m_record.geneName = m_text;
        break;
    case STORAGE_DIRECTORY:
        m_record.storageDirectory = m_text;
        break;
    case PLANE:
        if (lower == "coronal")
            m_record.plane = 0;
        else if (lower == "sagittal")
            m_record.plane = 1;
        break;
    case SCORE:
        m_record.score = DecimalFloat(m_text);
        break;
    case SPACE_NAME:
        m_record.spaceName = m_text;
        break;
    case CORRELATION_SEARCH_AVAILABLE:
        m_record.correlationSearchAvailable = lower == "true";
        break;
    }
    return true;
}

void GeneQuery::MakeDataSet()
{
    if (!m_atlas || m_nextRow >= MAX_ENTRIES)
        return;
    AtlasSpace* space = nullptr;
    if (!m_record.spaceName.empty())
        space = m_atlas->GetSpace(m_record.spaceName);
    else if (m_atlas->GetNumSpaces() > 0)
        space = m_atlas->GetSpace(0u);
    if (!space)
        return;
    const LocalGene& r = m_record;
    auto dataSet = std::make_unique<GeneExpression>(r.geneName.c_str(), r.geneSymbol.c_str(), m_projectCode.c_str(),
                                                    r.storageDirectory.c_str(), r.spaceName.c_str(), r.plane,
                                                    r.imageSeriesId, r.geneId, r.score);
    dataSet->SetCorrelationSearchAvailable(r.correlationSearchAvailable);
    dataSet->AddAtlasSpace(space);
    Delivery row;
    row.dataSet = std::move(dataSet);
    row.row = m_nextRow++;
    m_pending.push_back(std::move(row));
}

bool GeneQuery::CanQuellar(const GeneExpression* dataSet)
{
    if (!dataSet || dataSet->GetImageSeriesId() == 0 || !dataSet->IsCorrelationSearchAvailable())
        return false;
    const AtlasSpace* space = dataSet->GetAtlasSpace(0);
    if (!space || !space->GetAtlas())
        return false;
    try
    {
        return !space->GetAtlas()->GetCorrelationSearchUrl("").empty();
    }
    catch (const std::exception&)
    {
        return false;
    }
}
