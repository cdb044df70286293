#pragma once

#include "expression/BrainExpressionModelListener.h"
#include "expression/GeneFetchCompletionListener.h"
#include "expression/GeneFetcher.h"
#include "expression/PagedGeneListListener.h"
#include "gl/GLInteractiveRenderer.h"
#include "gl/GLTextureButton.h"
#include "gl/TimerListener.h"
#include "views/ExpressionThumbnailRenderer.h"

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class BrainExpressionModel;
class GLDisplay;
class GLTextBox;
class PagedGeneList;
class SearchController;
class TabControlRenderer;

// The content of a result tab: a header strip with the paging buttons and the list's status, one page of up
// to 10 result cells in 2 columns of 5 whose thumbnails spin together (50 ms timer), and a bottom strip that
// reports the queue of full downloads asked for with the cells' "Download" buttons. Downloads run one at a
// time in request order, independent of paging and searching; each decoded data set goes into the model.
//
// The display, list, model, tab bar and search controller are not owned; the list and the display outlive
// the browser. Construction and destruction make and free GL objects and make the display's context current
// for that. Main thread only; list, model, download and timer events all arrive on the main loop.
class BrainThumbnailRenderer : public GLInteractiveRenderer,
                               public PagedGeneListListener,
                               public GeneFetchCompletionListener,
                               public BrainExpressionModelListener,
                               public TimerListener
{
public:
    static constexpr int kNumCells = 10;
    static constexpr int kCellsPerColumn = 5;
    static constexpr unsigned int kSpinInterval = 50;

    // What the page's layout depends on, in logical pixels.
    struct PageMetrics
    {
        int width = 0, height = 0;
        int tabHeight = 0;                  // the tab bar's, shown or not
        int visibleTabHeight = 0;           // 0 while the bar is hidden
        const unsigned int* grid = nullptr; // the atlas's view grid (x, y, z), or null
        int statusLineHeight = 0;
        int textHeight = 0, buttonHeight = 0;             // a cell's gene text and "Download" button
        int numCells = 0;                                 // results on the page
        int downloadBoxWidth = 0, downloadLineHeight = 0; // the download text's box
        int cancelWidth = 0, cancelAllWidth = 0;          // the strip's buttons
        bool downloadRunning = false, downloadText = false;
    };
    // The download strip along the view's bottom, GL rows upwards. One line holds the download text, the
    // progress bar and "Cancel" and "Cancel All" side by side where they fit; a narrower view puts the text on
    // a line of its own above the others and shortens the bar, so that both buttons stay in the view. With no
    // download running the text (a finished download's) takes one line, and without it the strip is hidden
    // (height 0): the page's rows reach down to the view's bottom.
    struct StripLayout
    {
        int height = 0;
        int textX = 0, textY = 0;
        int barX = 0, barLength = 0;
        int cancelX = 0, cancelAllX = 0, buttonY = 0;
    };
    // Where a page goes. Two columns of five where they fit with thumbnails of a usable size, else one column
    // of ten under a header whose status line has a row of its own. Rows that do not fit between the header
    // and the download strip are reached by scrolling the page up, by at most maxScroll.
    struct PageLayout
    {
        int cellWidth = 0, cellHeight = 0, columnPitch = 0, rowPitch = 0;
        int columns = 2;
        int headerHeight = 0; // below the tab bar, the status line's row included
        int statusX = 0, statusY = 0;
        int maxScroll = 0;
        std::array<std::array<int, 2>, kNumCells> origins{}; // of the cells, unscrolled
        StripLayout strip;
    };

    struct GeneFetchInfo
    {
        std::string name; // shown in the download texts
        std::string url;
    };

    BrainThumbnailRenderer(GLDisplay* display, PagedGeneList* list, BrainExpressionModel* model,
                           TabControlRenderer* tabBar, SearchController* searchController);
    ~BrainThumbnailRenderer() override;
    BrainThumbnailRenderer(const BrainThumbnailRenderer&) = delete;
    BrainThumbnailRenderer& operator=(const BrainThumbnailRenderer&) = delete;

    void Initialize() override;
    void Display() override;
    void Reshape(int width, int height) override;
    void SetActive(bool active) override;
    void ResetCursorRects() override {}
    void PagedGeneListChanged(int code, PagedGeneList* list, int index) override;
    void ModelChanged(int code, BrainExpressionModel* model, int argument) override;
    bool OnButtonDown(int button, int x, int y, int flags, unsigned int time) override;
    bool OnButtonUp(int button, int x, int y, int flags, unsigned int time) override;
    // The second click's release: it ends the press as a release does.
    bool OnDoubleClick(int button, int x, int y, int flags, unsigned int time) override;
    bool OnMouseMove(int x, int y, int flags, unsigned int time) override;
    // Scrolls a page taller than the view.
    bool OnMouseWheel(int x, int y, int flags, int delta, unsigned int time) override;
    bool OnKeyDown(unsigned int key, int flags, unsigned int time) override;
    bool OnSpecialKeyDown(int key, int flags, unsigned int time) override;
    void TimerElapsed() override;
    // Queues a full download (called by the cells).
    virtual void DownloadGene(const std::string& name, const std::string& url);
    void GeneLoaded(GeneFetcher* fetcher, const void* data, unsigned long size) override;
    void GeneLoadError(GeneFetcher* fetcher, const std::string& message) override;
    virtual void Animate(bool on);
    virtual void AddGene(GeneExpression* gene);
    virtual void DrawHeader();
    virtual void DrawExpression();
    virtual void DrawDownloadStatus();
    virtual void RefreshStatusText();
    virtual void UpdatePagingButtons();
    virtual void PositionLights();
    virtual void CancelGeneDownload();
    virtual void CancelAllGeneDownloads();
    virtual void DownloadNextInQueue();
    virtual void UpdateDownloadStatusText();

    GLDisplay* GetDisplay() const { return m_display; }
    BrainExpressionModel* GetModel() const { return m_model; }
    PagedGeneList* GetList() const { return m_list; }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetCellWidth() const { return m_layout.cellWidth; }
    int GetCellHeight() const { return m_layout.cellHeight; }
    int GetColumnPitch() const { return m_layout.columnPitch; }
    int GetRowPitch() const { return m_layout.rowPitch; }
    const PageLayout& GetPageLayout() const { return m_layout; }
    float GetAngle() const { return m_angle; }
    ExpressionThumbnailRenderer& GetCell(int index) { return m_cells.at(static_cast<std::size_t>(index)); }
    int GetNumFilledCells() const { return m_nextCell; }
    bool IsAnimating() const { return m_animating; }
    bool IsUserStopped() const { return m_userStopped; }
    bool IsPagingEnabled() const { return m_pagingEnabled; }
    int GetPressedIndex() const { return m_pressedIndex; }
    GLTextureButton& GetHeaderButton(int index) { return m_headerButtons.at(static_cast<std::size_t>(index)); }
    GLTextBox* GetStatusBox() const { return m_statusBox.get(); }
    GLTextBox* GetDownloadTextBox() const { return m_downloadTextBox.get(); }
    GLTextureButton* GetCancelButton() const { return m_cancelButton.get(); }
    GLTextureButton* GetCancelAllButton() const { return m_cancelAllButton.get(); }
    const std::deque<GeneFetchInfo>& GetQueue() const { return m_queue; }
    const GeneFetcher& GetFetcher() const { return m_fetcher; }

private:
    // The tab bar's height while it is shown, else 0.
    int VisibleTabHeight() const;
    // The header button under x, or -1 (the empty slot 4 included).
    static int HeaderIndex(int x);
    bool InHeader(int y) const;
    bool PressHeader(int x, int y);
    bool PressCell(int x, int y, int flags, unsigned int time);
    bool PressStrip(int x, int y);
    void ReleaseHeader(int x, int y, int flags);
    void ResetCells(bool slimDown);
    void SetDownloadText(const std::string& text);
    void ReportFailures();
    void Overlays();
    static PageLayout LayOutPage(const PageMetrics& metrics);
    void LayOut();
    void PlaceCells();
    void SetScroll(int scroll);
    void DrawScrollBar();
    // The lower edge of the header, in GL rows.
    int PageBottom() const;

    PagedGeneList* m_list;
    BrainExpressionModel* m_model;
    GLDisplay* m_display;
    int m_width = 0;
    int m_height = 0;
    PageLayout m_layout;
    int m_scroll = 0; // how far the page is scrolled up
    std::array<ExpressionThumbnailRenderer, kNumCells> m_cells;
    int m_nextCell = 0;
    bool m_pagingEnabled = false;
    bool m_animating = false;
    bool m_userStopped = false;
    bool m_active = false;
    float m_angle = 0.5f;
    std::unique_ptr<GLTextBox> m_statusBox;
    std::unique_ptr<GLTextBox> m_downloadTextBox;
    std::unique_ptr<GLTextureButton> m_cancelButton;
    std::unique_ptr<GLTextureButton> m_cancelAllButton;
    GLTextureButton* m_capturedButton = nullptr;
    MouseListener* m_capturedListener = nullptr;
    bool m_pressedInside = false;
    int m_pressedIndex = -1;
    std::array<GLTextureButton, 6> m_headerButtons;
    std::deque<GeneFetchInfo> m_queue;
    GeneFetcher m_fetcher;
    // Those of the run of downloads that goes on, told together when it ends.
    std::vector<GeneFetcher::Failure> m_failures;
    TabControlRenderer* m_tabBar;
};
