#pragma once

#include "core/NetEventListener.h"
#include "core/XMLElementHandlerStack.h"
#include "core/XMLParser.h"

#include <memory>
#include <string>
#include <vector>

class Atlas;
class GeneExpression;
class GeneQueryCompletionListener;
class NetFile;
class PagedGeneList;

// One result list's searches on the atlas's server: builds the request of each page from the atlas's
// search templates, sends it and reads the XML answer while it streams in, storing each record as a data
// set at its row of the list. Each new search or page request aborts the one running. Main thread only.
//
// The list and the listener may destroy this query inside any call they receive from it (a row added, the
// list sized, the search answered, completed or failed): the query touches nothing of its own afterwards.
// Records are handed to the list after each chunk is parsed, never from inside the parser.
class GeneQuery : public NetEventListener, public XMLElementHandlerStack
{
public:
    // The record being read; a field missing from a record keeps the value of the record before.
    struct LocalGene
    {
        std::string geneName;
        std::string geneSymbol;
        std::string storageDirectory;
        std::string spaceName;
        int plane = -1;
        int imageSeriesId = 0;
        int geneId = 0;
        float score = -1.0f;
        bool correlationSearchAvailable = true;

        void Reset() { *this = LocalGene(); }
    };

    // Announced totals above this are taken as this; rows from here on are not stored.
    static constexpr int MAX_ENTRIES = 1000000;
    static const char* const READ_ERROR;

    // Neither is owned; a list passes itself as both.
    GeneQuery(PagedGeneList* resultList, GeneQueryCompletionListener* listener);
    ~GeneQuery() override;

    GeneQuery(const GeneQuery&) = delete;
    GeneQuery& operator=(const GeneQuery&) = delete;

    void DownloadComplete(const void* data, unsigned long size) override;
    void DownloadFailed(const std::string& message) override;
    void ResponseReceived(const std::string& mimeType, unsigned long expectedLength) override;
    void DataReceived(const void* data, unsigned long size) override;

    // Each search empties the list and requests page 0. Failures reach the listener, never the caller.
    virtual void Search(Atlas* atlas, const std::string& term);
    virtual void Search(Atlas* atlas, int geneId);
    virtual void Quellar(Atlas* atlas, int seedId, int structureScope, int extraScope);
    virtual void DifferentialSearch(Atlas* atlas, unsigned long structureA, unsigned long structureB,
                                    int differentialOption);
    // Stops the running request without any further call.
    virtual void Abort();
    virtual void RequestPage(int page);

    void StartElement(const char* name, const char** attributes) override;
    void EndElement(const char* name) override;
    void DataHandler(const char* text, int length) override;

    // Whether a similar-gene search can start from this data set.
    static bool CanQuellar(const GeneExpression* dataSet);
    // The text as one query value: what would end or change the value is escaped, the '=', '[', ']' and
    // ';' of structured terms stay.
    static std::string EncodeQueryValue(const std::string& text);

    // The request of a page of the current search. Throws std::exception subclasses when the atlas has
    // no fitting template.
    std::string PageUrl(int page) const;
    int GetTotalEntries() const { return m_totalEntries; }
    int GetPageSize() const { return m_pageSize; }

private:
    // What the parser found, handed to the list once the parser has returned.
    struct Delivery
    {
        int sizeTo = -1;
        std::unique_ptr<GeneExpression> dataSet;
        int row = 0;
    };

    void StartSearch(Atlas* atlas);
    void AbortTransfer();
    void ResetReader();
    // Parses one chunk; false when the answer is not well-formed.
    bool Feed(const char* data, unsigned long size, bool isFinal);
    // Hands the pending records to the list; false when a call-out ended this request or this query.
    bool Deliver();
    // Ends the request as unreadable after delivering what was read.
    void FailReading();
    void Fail(const std::string& message);
    bool InProjectionMode() const;
    bool StoreField(const std::string& path, bool projection);
    void MakeDataSet();
    std::string SearchTerm() const;

    Atlas* m_atlas = nullptr;
    std::string m_term;
    int m_geneId = 0;
    int m_seed = 0;
    int m_structureScope = 0;
    int m_extraScope = 0;
    unsigned long m_structureA = 0;
    unsigned long m_structureB = 0;
    int m_differentialOption = 0;
    NetFile* m_transfer = nullptr;
    GeneQueryCompletionListener* m_listener;
    int m_totalEntries = 0;
    int m_nextRow = 0;
    int m_pageSize = 10;
    XMLParser m_parser;
    LocalGene m_record;
    PagedGeneList* m_resultList;
    std::string m_text;
    // The project code of the running request, taken from the list when it was sent.
    std::string m_projectCode;
    // Open elements of the current answer; the stack's names outlive an aborted document.
    int m_depth = 0;
    std::vector<Delivery> m_pending;
    // Every abort starts a new request: deliveries of the old one stop.
    unsigned int m_requestSerial = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
