// The thumbnail browser on the recording display, drawing into the harness's framebuffer, against the demo
// server over the generator's tiny atlas 310 (view grid 67 x 41 x 58).

#include "ThumbnailTestSupport.h"

#include "core/MemoryStream.h"
#include "gl/GLTextureButton.h"
#include "gl/KeyListener.h"
#include "gl/TabControlRenderer.h"
#include "gl/support/GLTestFramebuffer.h"
#include "gl/support/RecordingDisplay.h"
#include "views/BrainThumbnailRenderer.h"

#include <algorithm>
#include <functional>
#include <set>
#include <vector>

namespace
{

using namespace thumbtest;

constexpr int kWidth = 1000;
constexpr int kHeight = 600;

class RecordingTabs : public TabControlRenderer
{
public:
    using TabControlRenderer::TabControlRenderer;
    void FlashTab(int index) override { flashed.push_back(index); }
    std::vector<int> flashed;
};

class ThumbnailBrowserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string reason;
        if (!env.Start(reason))
            GTEST_SKIP() << reason;
        model = std::make_unique<BrainExpressionModel>(env.atlas);
        framebuffer = std::make_unique<GLTestFramebuffer>(kWidth, kHeight);
        framebuffer->Bind();
        display = std::make_unique<RecordingDisplay>(kWidth, kHeight);
        display->SetDefaultFramebuffer(framebuffer->GetName());
        tabs = std::make_unique<RecordingTabs>(display.get(), nullptr);
        tabs->AddTab("Detail View", false, nullptr);
        tabs->AddTab("Results", true, nullptr);
        tabs->SwitchTab(1);
        list = std::make_unique<PagedGeneList>(10);
        browser =
            std::make_unique<BrainThumbnailRenderer>(display.get(), list.get(), model.get(), tabs.get(), &searches);
        display->SetRenderer(browser.get());
        browser->SetActive(true);
    }

    void TearDown() override
    {
        if (!browser)
            return;
        display->SetRenderer(nullptr);
        browser.reset();
        list.reset();
        tabs.reset();
        framebuffer.reset();
    }

    // Searches everything and waits until page 0's thumbnails are in.
    void SearchAll()
    {
        list->Search(env.atlas.get(), "", "", "everything");
        ASSERT_TRUE(RunEventsUntil([&] { return browser->IsPagingEnabled() && PageSettled(); }, kTimeoutMs));
    }

    // Every filled cell has its thumbnail or has given up, and the page is full or the list complete.
    bool PageSettled()
    {
        if (browser->GetNumFilledCells() == 0)
            return false;
        for (int i = 0; i < browser->GetNumFilledCells(); ++i)
            if (browser->GetCell(i).IsTransferRunning())
                return false;
        return true;
    }

    // Hand-made results replacing the list's content.
    void ShowResults(std::vector<std::unique_ptr<GeneExpression>> results)
    {
        list->RemoveGenes(true);
        for (auto& result : results)
            list->AddGene(std::move(result));
        ASSERT_TRUE(RunEventsUntil([&] { return PageSettled(); }, kTimeoutMs));
    }

    // A click at a GL point (y upwards), as the view delivers it (y from the top).
    bool Press(int x, int glY, int flags = 0)
    {
        return browser->OnButtonDown(kLeftButton, x, kHeight - 1 - glY, flags, 0);
    }
    bool Release(int x, int glY, int flags = 0)
    {
        return browser->OnButtonUp(kLeftButton, x, kHeight - 1 - glY, flags, 0);
    }
    void Click(int x, int glY, int flags = 0)
    {
        Press(x, glY, flags);
        Release(x, glY, flags);
    }
    // The centre of header button i (window rows from the top, as the header is hit in them).
    void ClickHeader(int index, int flags = 0)
    {
        const int x = 5 + 18 * index + 8;
        const int y = tabs->GetHeight() + 10;
        browser->OnButtonDown(kLeftButton, x, y, flags, 0);
        browser->OnButtonUp(kLeftButton, x, y, flags, 0);
    }

    static std::string Text(GLTextBox* box) { return static_cast<RecordingTextBox*>(box)->Record().text; }
    std::string DownloadText() { return Text(browser->GetDownloadTextBox()); }
    std::string StatusText(int cell) { return Text(browser->GetCell(cell).GetStatusBox()); }

    bool WaitFor(const std::function<bool()>& done) { return RunEventsUntil(done, kTimeoutMs); }

    ServerEnvironment env;
    RecordingSearches searches;
    std::unique_ptr<BrainExpressionModel> model;
    std::unique_ptr<GLTestFramebuffer> framebuffer;
    std::unique_ptr<RecordingDisplay> display;
    std::unique_ptr<RecordingTabs> tabs;
    std::unique_ptr<PagedGeneList> list;
    std::unique_ptr<BrainThumbnailRenderer> browser;
};

} // namespace

namespace
{

TEST_F(ThumbnailBrowserTest, PageGeometryCountsTheTabBarEvenWhenHidden)
{
    const unsigned int* grid = env.atlas->GetViewSizeGrid();
    ASSERT_EQ((std::vector<unsigned int>{67, 41, 58}), (std::vector<unsigned int>{grid[0], grid[1], grid[2]}));
    const std::string status = "146 experiments, displaying 1-10";
    browser->GetStatusBox()->SetText(status);
    const struct
    {
        int width, height;
        bool tabsShown;
        int cellWidth, cellHeight, columnPitch, rowPitch, firstY, columns;
    } cases[] = {
        {1000, 600, true, 88, 41, 258, 85, 467, 2},
        {1000, 600, false, 88, 41, 258, 85, 489, 2},
        // Too narrow for two columns of usable thumbnails: one column under a status line of its own.
        {400, 300, true, 88, 41, 258, 85, 150, 1},
        {360, 130, false, 88, 41, 258, 85, 2, 1},
        {250, 240, true, 65, 41, 235, 85, 90, 1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        if (!c.tabsShown)
            tabs->CloseTab(1);
        browser->Reshape(c.width, c.height);
        EXPECT_EQ(c.cellWidth, browser->GetCellWidth());
        EXPECT_EQ(c.cellHeight, browser->GetCellHeight());
        EXPECT_EQ(c.columnPitch, browser->GetColumnPitch());
        EXPECT_EQ(c.rowPitch, browser->GetRowPitch());
        EXPECT_EQ(5, browser->GetCell(0).GetOriginX());
        EXPECT_EQ(c.firstY, browser->GetCell(0).GetOriginY());
        EXPECT_EQ(c.firstY - c.rowPitch, browser->GetCell(1).GetOriginY());
        EXPECT_EQ(c.firstY - 4 * c.rowPitch, browser->GetCell(4).GetOriginY());
        EXPECT_EQ(c.columns == 2 ? 5 + c.columnPitch : 5, browser->GetCell(5).GetOriginX());
        EXPECT_EQ(c.columns == 2 ? c.firstY : c.firstY - 5 * c.rowPitch, browser->GetCell(5).GetOriginY());
        // The last column's text box and progress bar (4 pixels past the pitch) end inside the view.
        EXPECT_LE(browser->GetCell(9).GetOriginX() + c.columnPitch + 4, c.width);
        // So do the download strip's buttons.
        const GLTextureButton& cancelAll = *browser->GetCancelAllButton();
        EXPECT_LE(cancelAll.GetOriginX() + cancelAll.GetWidth() + 5, c.width);
        // The status line lies in the view, between the paging buttons and the first row.
        display->Display();
        const auto [x, y] = static_cast<RecordingTextBox*>(browser->GetStatusBox())->Record().draws.back();
        EXPECT_LE(x + static_cast<int>(status.size()) * RecordingTextBox::kCharacterWidth, c.width);
        EXPECT_GE(y, c.firstY + c.rowPitch);
        if (!c.tabsShown)
            tabs->AddTab("Results", true, nullptr);
    }
}

TEST_F(ThumbnailBrowserTest, SearchFillsTheCellsInOrderAndTheyDrawSpinningPointClouds)
{
    EXPECT_FALSE(display->TimerRunning());
    SearchAll();
    ASSERT_EQ(10, browser->GetNumFilledCells());
    for (int i = 0; i < 10; ++i)
    {
        EXPECT_EQ(list->GetGene(i), browser->GetCell(i).GetGene()) << i;
        EXPECT_TRUE(browser->GetCell(i).IsLoaded()) << i;
        EXPECT_TRUE(browser->GetCell(i).IsDownloadOffered()) << i;
    }
    // Rows past the tenth of a page have no cell.
    GeneExpression* eleventh = env.Result(123, 0, "Eleventh").release();
    list->AddGene(std::unique_ptr<GeneExpression>(eleventh), 10);
    EXPECT_EQ(10, browser->GetNumFilledCells());

    // The spin: 50 ms ticks, one degree down from 0.5, round to 359.
    ASSERT_TRUE(display->TimerRunning());
    EXPECT_EQ(50u, display->GetTimerInterval());
    EXPECT_FLOAT_EQ(0.5f, browser->GetAngle());
    display->FireTimer();
    EXPECT_FLOAT_EQ(359.0f, browser->GetAngle());
    display->FireTimer();
    EXPECT_FLOAT_EQ(358.0f, browser->GetAngle());

    // Every cell's box holds lit pixels, and a quarter turn moves them.
    const auto lit = [&](const std::vector<std::uint8_t>& pixels, int cell) {
        const ExpressionThumbnailRenderer& c = browser->GetCell(cell);
        std::vector<std::uint8_t> box;
        for (int y = c.GetOriginY(); y < c.GetOriginY() + browser->GetRowPitch(); ++y)
            for (int x = c.GetOriginX(); x < c.GetOriginX() + browser->GetCellWidth(); ++x)
                for (int k = 0; k < 4; ++k)
                    box.push_back(pixels[4 * (y * kWidth + x) + k]);
        return box;
    };
    display->Display();
    const std::vector<std::uint8_t> before = framebuffer->ReadPixels();
    display->FireTimer(90);
    display->Display();
    const std::vector<std::uint8_t> after = framebuffer->ReadPixels();
    for (int i = 0; i < 10; ++i)
    {
        const std::vector<std::uint8_t> first = lit(before, i);
        const auto count = std::count_if(first.begin(), first.end(), [](std::uint8_t v) { return v > 16; });
        EXPECT_GT(count, 100) << "cell " << i;
        EXPECT_NE(first, lit(after, i)) << "cell " << i;
    }
    // Nothing is drawn right of the second column's texts or in the empty strip between the columns' clouds.
    EXPECT_EQ(0, framebuffer->Pixel(kWidth - 3, 300)[3]);
}

TEST_F(ThumbnailBrowserTest, GeneTextNamesPlaneAndScore)
{
    const struct
    {
        int plane;
        float score;
        std::string text;
    } cases[] = {
        {0, 0.12345f, "Alpha - coronal - 0.123\nname of Alpha"},
        {1, 0.0f, "Alpha - sagittal - 0.000\nname of Alpha"},
        {0, -1.0f, "Alpha - coronal\nname of Alpha"},
        {1, 12.5f, "Alpha - sagittal - 12.500\nname of Alpha"},
    };
    for (const auto& c : cases)
    {
        std::vector<std::unique_ptr<GeneExpression>> results;
        results.push_back(env.Result(0, 0, "Alpha", c.plane, c.score));
        ShowResults(std::move(results));
        EXPECT_EQ(c.text, Text(browser->GetCell(0).GetGeneTextBox()));
    }
}

TEST_F(ThumbnailBrowserTest, ThumbnailsComeFromTheCacheOnceFetched)
{
    SearchAll();
    const int first = env.ThumbnailRequests();
    EXPECT_GE(first, 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_NE(env.cache.added.end(), std::find(env.cache.added.begin(), env.cache.added.end(),
                                                   static_cast<unsigned int>(list->GetGene(i)->GetImageSeriesId())));
    list->ChangePage(1);
    ASSERT_TRUE(WaitFor([&] { return browser->GetNumFilledCells() == 10 && PageSettled(); }));
    const int second = env.ThumbnailRequests();
    EXPECT_GE(second, first + 10);
    // Leaving a page slims its data sets down; coming back reads them from the cache.
    EXPECT_FALSE(list->GetGene(0)->IsLoaded());
    list->ChangePage(0);
    ASSERT_TRUE(WaitFor([&] { return browser->GetNumFilledCells() == 10 && PageSettled(); }));
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(browser->GetCell(i).IsLoaded()) << i;
    EXPECT_EQ(second, env.ThumbnailRequests());
}

// The search and a page of ten thumbnails share at most six connections (Qt's limit to one host); the next
// page opens none.
TEST_F(ThumbnailBrowserTest, APageOfThumbnailsKeepsToSixConnections)
{
    std::size_t logged = env.server->Log().size();
    const auto connectionsSince = [&] {
        const std::vector<LoggedRequest> log = env.server->Log();
        std::set<int> numbers;
        for (std::size_t i = logged; i < log.size(); ++i)
            numbers.insert(log[i].connection);
        logged = log.size();
        return numbers;
    };
    SearchAll();
    const std::set<int> first = connectionsSince();
    EXPECT_LE(first.size(), 6u);
    list->ChangePage(1);
    ASSERT_TRUE(WaitFor([&] { return browser->GetNumFilledCells() == 10 && PageSettled(); }));
    const std::set<int> second = connectionsSince();
    EXPECT_FALSE(second.empty());
    EXPECT_TRUE(std::includes(first.begin(), first.end(), second.begin(), second.end()));
}

TEST_F(ThumbnailBrowserTest, EveryEleventhCachedThumbnailCleansTheCache)
{
    const int already = ExpressionThumbnailRenderer::GetNumGenesAdded();
    SearchAll();
    list->ChangePage(1);
    ASSERT_TRUE(WaitFor([&] { return browser->GetNumFilledCells() == 10 && PageSettled(); }));
    const int added = static_cast<int>(env.cache.added.size());
    ASSERT_EQ(20, added);
    // Clean-ups after the 11th, 22nd, ... thumbnail counted from the counter's last reset.
    EXPECT_EQ((already + added) / 11, env.cache.cleans);
    EXPECT_EQ((already + added) % 11, ExpressionThumbnailRenderer::GetNumGenesAdded());
}

TEST_F(ThumbnailBrowserTest, FailedAndMissingThumbnailsReadNotAvailable)
{
    std::vector<std::unique_ptr<GeneExpression>> results;
    results.push_back(env.Result(kNotFoundId, 0, "Missing"));
    results.push_back(env.Result(0, 0, "NoIds"));
    results.push_back(env.Result(kBadCrcId, 0, "Corrupt"));
    results.push_back(env.Result(0, 77, "GeneOnly"));
    ShowResults(std::move(results));
    for (int i = 0; i < 4; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(NOT_AVAILABLE_STRING, StatusText(i));
        EXPECT_FALSE(browser->GetCell(i).IsLoaded());
        EXPECT_FALSE(browser->GetCell(i).IsDownloadOffered());
    }
    EXPECT_FALSE(list->GetGene(0)->IsDownloadable());
    EXPECT_FALSE(list->GetGene(2)->IsDownloadable());
    // Only loadable bytes are cached; a result without ids is never looked up.
    EXPECT_TRUE(env.cache.added.empty());
    EXPECT_EQ((std::vector<unsigned int>{kNotFoundId, kBadCrcId, 77}), env.cache.lookedUp);
    // The status is drawn centred in the cell.
    display->Display();
    const auto& draws = static_cast<RecordingTextBox*>(browser->GetCell(0).GetStatusBox())->Record().draws;
    ASSERT_FALSE(draws.empty());
    const ExpressionThumbnailRenderer& cell = browser->GetCell(0);
    EXPECT_EQ(std::make_pair(88 / 2 - 7 * 16 / 2 + cell.GetOriginX(), 85 / 2 + cell.GetOriginY()), draws.back());

    // The next result in the same cell shows nothing of the failure while its thumbnail comes.
    list->RemoveGenes(true);
    list->AddGene(env.Result(kSlowId, 0, "Slow"));
    EXPECT_TRUE(browser->GetCell(0).IsTransferRunning());
    EXPECT_EQ("", StatusText(0));
    list->RemoveGenes(true);
    EXPECT_FALSE(browser->GetCell(0).IsTransferRunning());
}

TEST_F(ThumbnailBrowserTest, HeaderButtonsPageThroughTheList)
{
    SearchAll();
    const int last = list->GetNumPages() - 1;
    ASSERT_GE(last, 6);
    const auto enabled = [&] {
        std::string states;
        for (int i = 0; i < 6; ++i)
            states += browser->GetHeaderButton(i).IsEnabled() ? '1' : '0';
        return states;
    };
    EXPECT_EQ("001101", enabled());
    const int header = tabs->GetHeight() + 10;
    // A press in the header is not taken, yet its release acts.
    EXPECT_FALSE(browser->OnButtonDown(kLeftButton, 5 + 2 * 18 + 8, header, 0, 0));
    EXPECT_EQ(2, browser->GetPressedIndex());
    EXPECT_TRUE(browser->OnButtonUp(kLeftButton, 5 + 2 * 18 + 8, header, 0, 0));
    EXPECT_EQ(1, list->GetCurrentPage());
    EXPECT_EQ("111101", enabled());

    const struct
    {
        int button, flags, from, to;
    } cases[] = {
        {2, 0, 1, 2},    {2, kShiftKey, 1, 6}, {1, kShiftKey, 6, 1},           {1, kShiftKey, 3, 0}, {1, 0, 2, 1},
        {3, 0, 1, last}, {0, 0, last, 0},      {2, kShiftKey, last - 1, last}, {4, 0, 2, 2},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.button) + " from " + std::to_string(c.from));
        list->ChangePage(c.from);
        ClickHeader(c.button, c.flags);
        EXPECT_EQ(c.to, list->GetCurrentPage());
        EXPECT_EQ(-1, browser->GetPressedIndex());
    }
    list->ChangePage(last);
    EXPECT_EQ("110001", enabled());

    // The empty slot never reacts, nor does a release off the pressed button.
    for (const int x : {77, 86, 94})
    {
        EXPECT_FALSE(browser->OnButtonDown(kLeftButton, x, header, 0, 0));
        EXPECT_EQ(-1, browser->GetPressedIndex()) << x;
    }
    list->ChangePage(3);
    browser->OnButtonDown(kLeftButton, 5 + 18 + 8, header, 0, 0);
    browser->OnMouseMove(5 + 2 * 18 + 8, header, 0, 0);
    browser->OnButtonUp(kLeftButton, 5 + 2 * 18 + 8, header, 0, 0);
    EXPECT_EQ(3, list->GetCurrentPage());
    // The second click of a double click ends its press as a release.
    browser->OnButtonDown(kLeftButton, 5 + 2 * 18 + 8, header, 0, 0);
    EXPECT_TRUE(browser->OnDoubleClick(kLeftButton, 5 + 2 * 18 + 8, header, 0, 0));
    EXPECT_EQ(4, list->GetCurrentPage());
    EXPECT_EQ(-1, browser->GetPressedIndex());
}

TEST_F(ThumbnailBrowserTest, KeysPageAndSpaceStopsTheSpinForGood)
{
    SearchAll();
    const int last = list->GetNumPages() - 1;
    const struct
    {
        int key, from, to;
        bool taken;
    } cases[] = {
        {kLeftArrowKey, 3, 2, true}, {kRightArrowKey, 3, 4, true}, {kPageUpKey, 6, 1, true},
        {kPageUpKey, 2, 0, true},    {kPageDownKey, 1, 6, true},   {kPageDownKey, last - 1, last, true},
        {kHomeKey, 4, 0, true},      {kEndKey, 2, last, true},     {kLeftArrowKey, 0, 0, true},
        {kUpArrowKey, 2, 2, false},  {kDownArrowKey, 2, 2, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.key) + " from " + std::to_string(c.from));
        list->ChangePage(c.from);
        EXPECT_EQ(c.taken, browser->OnSpecialKeyDown(c.key, 0, 0));
        EXPECT_EQ(c.to, list->GetCurrentPage());
    }
    list->ChangePage(0);
    ASSERT_TRUE(WaitFor([&] { return browser->GetNumFilledCells() == 10; }));
    EXPECT_TRUE(browser->IsAnimating());
    EXPECT_FALSE(browser->OnKeyDown('a', 0, 0));
    EXPECT_TRUE(browser->OnKeyDown(' ', 0, 0));
    EXPECT_FALSE(display->TimerRunning());
    browser->SetActive(false);
    browser->SetActive(true);
    list->ChangePage(1);
    ASSERT_TRUE(WaitFor([&] { return browser->GetNumFilledCells() == 10; }));
    EXPECT_FALSE(display->TimerRunning());
    // Space starts it again; the pause button stops it for good too.
    EXPECT_TRUE(browser->OnKeyDown(' ', 0, 0));
    EXPECT_TRUE(display->TimerRunning());
    ClickHeader(5);
    EXPECT_FALSE(display->TimerRunning());
    EXPECT_TRUE(browser->IsUserStopped());
    browser->SetActive(true);
    EXPECT_FALSE(display->TimerRunning());
}

TEST_F(ThumbnailBrowserTest, DeactivationStopsTheSpinAndActivationRestartsIt)
{
    SearchAll();
    EXPECT_TRUE(display->TimerRunning());
    browser->SetActive(false);
    EXPECT_FALSE(display->TimerRunning());
    browser->SetActive(true);
    EXPECT_TRUE(display->TimerRunning());
    // A new search empties the page and stops the spin until its results arrive.
    list->Search(env.atlas.get(), "", "enriched", "enriched");
    EXPECT_EQ(0, browser->GetNumFilledCells());
    EXPECT_FALSE(display->TimerRunning());
    // Results of a browser that is not shown leave the display's one timer to the renderer that is.
    browser->SetActive(false);
    ASSERT_TRUE(WaitFor([&] { return browser->GetNumFilledCells() > 0; }));
    EXPECT_FALSE(display->TimerRunning());
    browser->SetActive(true);
    EXPECT_TRUE(display->TimerRunning());
    list->Search(env.atlas.get(), "", "enriched", "enriched");
    EXPECT_EQ("000000", [&] {
        std::string states;
        for (int i = 0; i < 6; ++i)
            states += browser->GetHeaderButton(i).IsEnabled() ? '1' : '0';
        return states;
    }());
}

// The cell's buttons are hit where their hit origins lie: the icons 3 and 4 pixels left of where they are
// drawn, "Download" where it is drawn.
TEST_F(ThumbnailBrowserTest, CellButtonsAreHitWhereTheirHitOriginsLie)
{
    SearchAll();
    // Find-more is offered in lists of a search by gene id.
    list->Search(env.atlas.get(), "", list->GetGene(0)->GetGeneId(), "one gene");
    ASSERT_TRUE(WaitFor([&] { return browser->IsPagingEnabled() && PageSettled(); }));
    ExpressionThumbnailRenderer& cell = browser->GetCell(0);
    ASSERT_TRUE(cell.IsDownloadOffered());
    ASSERT_TRUE(list->CanSearchByGeneId());
    const GeneExpression* gene = cell.GetGene();
    // Recording boxes: 3 lines of 15 pixels; the download button 15 + 6 high with its baseline at 3.
    const int x = cell.GetOriginX() + 88 + 4;
    const int top = 85 - (45 + 21 + 6) / 2 - 45 / 2;
    const int row = top + cell.GetOriginY() - 6 - 21;
    const int icon = row + 3 - 1;
    display->Display();
    EXPECT_EQ(std::make_pair(x, cell.GetOriginY() + top),
              static_cast<RecordingTextBox*>(cell.GetGeneTextBox())->Record().draws.back());

    const std::string more = "gene " + gene->GetSymbol() + "||" + gene->GetSymbol() + "|series";
    const std::string similar = "similar " + gene->GetSymbol() + "||" + std::to_string(gene->GetImageSeriesId());
    const struct
    {
        int x, y;
        std::string call;
    } cases[] = {
        {x - 3, icon + 8, more},      {x - 4, icon + 8, ""},  {x + 15, icon, more},    {x + 14 + 18, icon, similar},
        {x + 16, icon + 16, similar}, {x + 33, icon + 8, ""}, {x + 14, icon + 17, ""}, {x + 40, row + 2, "download"},
        {x + 39, row + 2, ""},        {x + 40, row - 2, ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.x - x) + ", " + std::to_string(c.y - row));
        searches.calls.clear();
        Click(c.x, c.y);
        std::string call = searches.calls.empty() ? "" : searches.calls.back();
        if (browser->GetFetcher().IsActive())
        {
            call = "download";
            EXPECT_EQ("Downloading " + gene->GetSymbol(), DownloadText());
            browser->CancelAllGeneDownloads();
        }
        EXPECT_EQ(c.call, call);
    }

    // A drag off the button cancels; the second click of a double click acts as a release.
    searches.calls.clear();
    Press(x, icon + 8);
    browser->OnMouseMove(x + 100, kHeight - 1 - (icon + 8), 0, 0);
    Release(x + 100, icon + 8);
    EXPECT_TRUE(searches.calls.empty());
    Press(x, icon + 8);
    EXPECT_TRUE(browser->OnDoubleClick(kLeftButton, x, kHeight - 1 - (icon + 8), 0, 0));
    EXPECT_EQ(std::vector<std::string>{more}, searches.calls);
    EXPECT_FALSE(browser->OnMouseMove(x, kHeight - 1 - (icon + 8), 0, 0)); // no capture left

    // In a page scrolled up, the part of a button under the header takes no click; the part below it does.
    SearchAll();
    browser->Reshape(kWidth, 250);
    browser->OnMouseWheel(0, 0, 0, -198, 0); // 84 pixels: the button's row lies at the header's lower edge
    ASSERT_EQ(250 - tabs->GetHeight() - 27, cell.GetOriginY());
    for (const int y : {tabs->GetHeight() + 24, tabs->GetHeight() + 26})
    {
        browser->OnButtonDown(kLeftButton, x + 40, y, 0, 0);
        browser->OnButtonUp(kLeftButton, x + 40, y, 0, 0);
        EXPECT_EQ(y > tabs->GetHeight() + 25, browser->GetFetcher().IsActive()) << y;
        browser->CancelAllGeneDownloads();
    }
}

// A page that arrives in a view already too short for it scrolls at once. Its rows reach down to the view's
// bottom while no download runs; a running download's strip takes its room from them. Scrolled, no row is
// drawn over the header or the strip.
TEST_F(ThumbnailBrowserTest, APageScrollsBetweenTheHeaderAndTheDownloadStrip)
{
    constexpr int kShort = 250;
    browser->Reshape(kWidth, kShort);
    SearchAll();
    browser->Animate(false);
    const BrainThumbnailRenderer::PageLayout& page = browser->GetPageLayout();
    const ExpressionThumbnailRenderer& lastRow = browser->GetCell(4);
    EXPECT_EQ(0, page.strip.height);
    ASSERT_TRUE(browser->OnMouseWheel(0, 0, 0, -100000, 0)) << "no scrolling";
    const int idleBottom = lastRow.GetOriginY();
    browser->DownloadGene("Slow", env.Url(kSlowId, "visualize"));
    ASSERT_EQ(27, page.strip.height);
    browser->OnMouseWheel(0, 0, 0, -100000, 0);
    EXPECT_EQ(idleBottom + 27, lastRow.GetOriginY());

    // 59 pixels down from the top: the first row reaches into the header, the fourth into the strip.
    browser->OnMouseWheel(0, 0, 0, 100000, 0);
    browser->OnMouseWheel(0, 0, 0, -139, 0);
    display->Display();
    const auto lit = [&](int x0, int y0, int x1, int y1) {
        int count = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                count += framebuffer->Pixel(x, y)[0] > 16;
        return count;
    };
    const int top = kShort - tabs->GetHeight();
    EXPECT_EQ(0, lit(120, top - page.headerHeight + 5, kWidth, top)) << "over the header";
    EXPECT_EQ(0, lit(0, 0, page.strip.barX - 5, page.strip.height)) << "over the strip";
    EXPECT_GT(lit(0, page.strip.height, kWidth, top - page.headerHeight), 100) << "no rows";
    browser->CancelAllGeneDownloads();
}

TEST_F(ThumbnailBrowserTest, DownloadsRunOneAtATimeAndCanBeCancelled)
{
    const std::string slow = env.Url(kSlowId, "visualize");
    browser->DownloadGene("Slow", slow);
    browser->DownloadGene("Slower", slow);
    browser->DownloadGene("Slowest", slow);
    EXPECT_EQ("Downloading Slow - 2 queued", DownloadText());
    const GLTextureButton& cancel = *browser->GetCancelButton();
    const GLTextureButton& cancelAll = *browser->GetCancelAllButton();
    EXPECT_EQ(480, cancel.GetOriginX());
    EXPECT_EQ((26 - 15) / 2 - 3, cancel.GetOriginY());
    EXPECT_EQ(7 * 6 + 12 + 490, cancelAll.GetOriginX());
    ASSERT_TRUE(RunEventsUntil([&] { return browser->GetFetcher().GetProgress() > 0.0f; }, 3000) || true);
    display->Display();
    // The strip shows both buttons while a download runs.
    EXPECT_TRUE(Press(cancel.GetOriginX() + 4, cancel.GetOriginY() + 4));
    EXPECT_TRUE(Release(cancel.GetOriginX() + 4, cancel.GetOriginY() + 4));
    EXPECT_EQ("Downloading Slower - 1 queued", DownloadText());
    // A press that moves off the button does not cancel.
    Press(cancel.GetOriginX() + 4, cancel.GetOriginY() + 4);
    browser->OnMouseMove(300, kHeight - 10, 0, 0);
    Release(300, 10);
    EXPECT_EQ("Downloading Slower - 1 queued", DownloadText());
    Click(cancelAll.GetOriginX() + 4, cancelAll.GetOriginY() + 4);
    EXPECT_EQ("", DownloadText());
    EXPECT_TRUE(browser->GetQueue().empty());
    EXPECT_FALSE(browser->GetFetcher().IsActive());
    // Without a download the strip takes no press.
    EXPECT_FALSE(Press(cancel.GetOriginX() + 4, cancel.GetOriginY() + 4));
    EXPECT_TRUE(env.alerts.alerts.empty());
}

TEST_F(ThumbnailBrowserTest, QueueGoesOnPastFailuresAndAddsDataSetsToTheModel)
{
    SearchAll();
    const int good = list->GetGene(0)->GetImageSeriesId();
    const int other = list->GetGene(1)->GetImageSeriesId();
    // The run's failures come in one alert, each named with its reason; nothing listens on port 1.
    const struct
    {
        std::string name, url, alert;
    } requests[] = {
        {"Corrupt", env.Url(kBadCrcId, "visualize"), "Error reading gene data. "},
        {"Unstartable", "", "No URL."},
        {"Invalid", "no scheme at all", "Could not open connection."},
        {"First", env.Url(good, "visualize"), ""},
        {"Missing", env.Url(kNotFoundId, "visualize"), "Server returned error 404"},
        {"Refused", "http://127.0.0.1:1/demo/data/3", "Connection refused (127.0.0.1:1)"},
        {"Second", env.Url(other, "visualize"), ""},
    };
    for (const auto& request : requests)
        browser->DownloadGene(request.name, request.url);
    EXPECT_EQ("Downloading Corrupt - 6 queued", DownloadText());
    ASSERT_TRUE(WaitFor([&] { return DownloadText() == "Second downloaded"; })) << DownloadText();
    EXPECT_FALSE(browser->GetFetcher().IsActive());
    ASSERT_EQ(1u, env.alerts.alerts.size());
    const std::string& alert = env.alerts.alerts[0];
    EXPECT_EQ(0u, alert.rfind("5 data sets could not be loaded.\n", 0)) << alert;
    std::size_t at = 0;
    for (const auto& request : requests)
    {
        if (request.alert.empty())
            continue;
        at = alert.find(
            "\n" + request.name + (request.url.empty() ? "" : " (" + request.url + ")") + ": " + request.alert, at);
        ASSERT_NE(std::string::npos, at) << request.name << " in order in " << alert;
    }
    // One failure alone reads as before: the reason, then the data set.
    browser->DownloadGene(requests[4].name, requests[4].url);
    ASSERT_TRUE(WaitFor([&] { return env.alerts.alerts.size() == 2; }));
    const std::string& single = env.alerts.alerts[1];
    const std::string named = "\n\nData set: Missing (" + requests[4].url + ")";
    EXPECT_EQ(0u, single.rfind(requests[4].alert, 0)) << single;
    EXPECT_EQ(named, single.substr(std::max(single.size(), named.size()) - named.size())) << single;
    ASSERT_EQ(2, model->GetNumGenes());
    EXPECT_EQ(good, model->GetGene(0)->GetExperimentId());
    EXPECT_EQ(other, model->GetGene(1)->GetExperimentId());
    EXPECT_TRUE(model->GetGene(0)->IsLoaded());
    // Each finished transfer flashed the scene's tab.
    EXPECT_EQ((std::vector<int>{0, 0, 0}), tabs->flashed);
    // Cancel All tells the failures of the run so far.
    browser->DownloadGene(requests[4].name, requests[4].url);
    browser->DownloadGene("Slow", env.Url(kSlowId, "visualize"));
    ASSERT_TRUE(WaitFor([&] { return DownloadText() == "Downloading Slow"; })) << DownloadText();
    browser->CancelAllGeneDownloads();
    ASSERT_EQ(3u, env.alerts.alerts.size());
    EXPECT_EQ(0u, env.alerts.alerts[2].rfind(requests[4].alert, 0)) << env.alerts.alerts[2];
}

} // namespace
