#pragma once

#include "app/TabType.h"
#include "expression/BrainExpressionModelListener.h"
#include "expression/GeneFetchCompletionListener.h"
#include "expression/GeneFetcher.h"
#include "expression/SearchController.h"
#include "gl/TabControlListener.h"

#include <QPointer>

#include <map>
#include <memory>
#include <string>
#include <vector>

class BrainDocTab;
class CorvaneDoc;
class GeneFetcher;
class PagedGeneList;
class QObject;

// The model-side companion of one document: turns model events into redraws of the window's lists, runs
// the searches (choosing or creating their result tabs) and the data-set downloads, and keeps the display's
// renderer in step with the tab bar. Main thread only.
class CorvaneDocWrapper : public BrainExpressionModelListener,
                          public GeneFetchCompletionListener,
                          public SearchController,
                          public TabControlListener
{
public:
    using TabType = ::TabType;

    // The document's model exists already; the companion listens to it until it is destroyed.
    explicit CorvaneDocWrapper(CorvaneDoc* doc);
    // Stops listening and aborts every running download.
    ~CorvaneDocWrapper() override;
    CorvaneDocWrapper(const CorvaneDocWrapper&) = delete;
    CorvaneDocWrapper& operator=(const CorvaneDocWrapper&) = delete;

    void ModelChanged(int code, BrainExpressionModel* model, int argument) override;
    void SearchForGene(const char* listName, const char* projectCode, const char* term, bool seriesTab) override;
    void SearchForGeneById(const char* symbol, const char* projectCode, int id) override;
    void SearchForSimilarGenes(const char* name, const char* projectCode, int seriesId) override;
    // Nothing at all happens for a negative domain.
    virtual void SearchForSimilarGenes(const char* name, const char* projectCode, int seriesId, int domainId,
                                       int planeRestriction, bool graph);
    virtual void SearchForDifferentialExpression(const char* projectCode, unsigned long structureA,
                                                 unsigned long structureB, int planeRestriction);
    // Throws what the fetcher throws when the transfer cannot start; nothing is queued then.
    void FetchExpressionData(const char* url, const float* rgb) override;
    void FetchMicroarrayData(const char* url, unsigned int donor, unsigned int well, unsigned int structure) override;
    int GetNumQueuedExpressionDownloads() override { return static_cast<int>(m_downloads.size()); }
    void GeneLoaded(GeneFetcher* fetcher, const void* bytes, unsigned long size) override;
    void GeneLoadError(GeneFetcher* fetcher, const std::string& message) override;
    virtual void StopDownloads();
    // Shows a relation table in the graph tab; throws, before any tab changes, when it gives no graph.
    virtual void LoadDirectedGraphFile(const char* path);
    virtual BrainDocTab* CreateNewTab(bool activate, TabType type);
    virtual void SwitchToListTab();
    virtual void SwitchToSeriesSearchTab();
    virtual void SwitchToDirectedGraphTab();
    virtual bool CanCreateTab();
    virtual bool CanCloseTab();
    virtual void UpdateActiveTabName();
    virtual PagedGeneList* GetSearchList();
    void TabWillSwitch(int index, void* data) override;
    void TabSwitched(int index, void* data) override;
    void TabClosed(int index, void* data) override;
    virtual int FindTab(void* tab);
    virtual BrainDocTab* FindClosestTab(int index, TabType type);
    virtual void UpdateDownloadStatusText();

    // While the document is being released closed tabs go at once; otherwise a closed tab's content goes
    // after the event that closed it returns (its own renderer may have passed the click to the bar).
    void SetReleasing(bool releasing) { m_releasing = releasing; }
    BrainDocTab* GetRememberedTab(TabType type) const;
    // Tabs closed but not yet deleted.
    std::size_t GetNumPendingTabs() const { return m_closedTabs.size(); }
    void DeleteClosedTabs();

private:
    BrainDocTab* ActiveTab();
    BrainDocTab*& Remembered(TabType type);
    void SwitchToTab(TabType type);
    // Deletes a fetcher of ours and gives the address of its data set.
    std::string FinishDownload(GeneFetcher* fetcher);
    // One alert for the failures gathered, once no download runs.
    void ReportFailures();

    CorvaneDoc* m_doc;
    BrainDocTab* m_listTab = nullptr;
    BrainDocTab* m_seriesTab = nullptr;
    BrainDocTab* m_graphTab = nullptr;
    std::map<GeneFetcher*, std::string> m_downloads; // each with the address of its data set
    std::vector<GeneFetcher::Failure> m_failures;    // of the downloads since none ran
    // Tabs the bar has reported closed, kept until the event loop runs again.
    std::vector<std::unique_ptr<BrainDocTab>> m_closedTabs;
    // Indices of tabs the bar reported closed while it is being destroyed (it reports last to first).
    int m_closedFrom = -1;
    BrainDocTab* m_closingTab = nullptr;
    bool m_releasing = false;
    std::unique_ptr<QObject> m_deferralContext;
};
