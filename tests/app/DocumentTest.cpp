// A document window over the demo server: downloads with their status line and failures, the result tabs
// that searches choose, the window's key equivalents, data-set files and the settings saved on closing.

#include "ShellTestSupport.h"

#include "app/BrainDocTab.h"
#include "app/CorvaneWindowController.h"
#include "app/GeneTableModel.h"
#include "app/SegmentedControl.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "gl/TabControlRenderer.h"
#include "scene/BrainSceneRenderer.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include <gtest/gtest.h>

namespace
{

class DocumentTest : public DocumentFixture
{
protected:
    std::string Status() const { return doc->statusText(); }
    bool StopShown() const { return doc->stopButton()->isVisibleTo(doc->windowController()); }
    // The model's data sets once the running downloads have ended.
    int GenesAfterDownloads()
    {
        EXPECT_TRUE(RunEventsUntil([&] { return Wrapper().GetNumQueuedExpressionDownloads() == 0; }, 30000));
        return doc->expressionModel()->GetNumGenes();
    }
};

TEST_F(DocumentTest, StatusLineCountsRunningDownloads)
{
    struct Case
    {
        int downloads;
        const char* status;
        bool stopShown;
    };
    for (const Case& c :
         {Case{0, "", false}, Case{1, "Downloading data...", true}, Case{3, "Downloading data (3 remaining)", true}})
    {
        for (int i = 0; i < c.downloads; ++i)
            Wrapper().FetchExpressionData(Url("/demo/data/9990005").c_str(), nullptr);
        Wrapper().UpdateDownloadStatusText();
        EXPECT_EQ(c.status, Status()) << c.downloads;
        EXPECT_EQ(c.stopShown, StopShown()) << c.downloads;
        EXPECT_EQ(c.downloads, Wrapper().GetNumQueuedExpressionDownloads());
        // The stop button ends them all.
        doc->stopButton()->click();
        EXPECT_EQ("", Status());
        EXPECT_FALSE(StopShown());
        EXPECT_EQ(0, Wrapper().GetNumQueuedExpressionDownloads());
    }
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(DocumentTest, DownloadedDataSetsKeepTheirColourOrGetAPaletteColour)
{
    const std::vector<std::string> ids = ServedDataSetIds(2);
    ASSERT_EQ(2u, ids.size());
    const float given[3] = {0.25f, 0.5f, 0.75f};
    Wrapper().FetchExpressionData(Url("/demo/data/" + ids[0]).c_str(), given);
    ASSERT_EQ(1, GenesAfterDownloads()) << (alerts.alerts.empty() ? "" : alerts.alerts[0]);
    Wrapper().FetchExpressionData(Url("/demo/data/" + ids[1]).c_str(), nullptr);
    ASSERT_EQ(2, GenesAfterDownloads());
    const float* kept = doc->expressionModel()->GetGene(0)->GetColor();
    EXPECT_EQ(std::vector<float>(given, given + 3), std::vector<float>(kept, kept + 3));
    const float* assigned = doc->expressionModel()->GetGene(1)->GetColor();
    for (int c = 0; c < 3; ++c)
        EXPECT_TRUE(assigned[c] >= 0.0f && assigned[c] <= 1.0f) << assigned[c];
    EXPECT_NE(std::vector<float>(given, given + 3), std::vector<float>(assigned, assigned + 3));
    // The table shows both rows and selects the one added last.
    EXPECT_EQ(2, doc->geneTableModel()->rowCount());
    EXPECT_EQ("", Status());
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(DocumentTest, FailedDownloadsAlertAndLeaveTheModelAlone)
{
    struct Case
    {
        std::string url;
        std::string alertStart;
        bool longer; // the decoder's own text follows
    };
    // Nothing listens on port 1 of this host.
    const Case cases[] = {Case{Url("/demo/data/9990003"), "Unable to load data. ", true},
                          Case{Url("/demo/data/9990001"), "Unable to load data. ", true},
                          Case{Url("/demo/data/9990404"), "Server returned error 404", false},
                          Case{"http://127.0.0.1:1/demo/data/3", "Connection refused (127.0.0.1:1)", false}};
    for (const Case& c : cases)
    {
        alerts.alerts.clear();
        Wrapper().FetchExpressionData(c.url.c_str(), nullptr);
        EXPECT_EQ(0, GenesAfterDownloads()) << c.url;
        ASSERT_EQ(1u, alerts.alerts.size()) << c.url;
        const std::string& alert = alerts.alerts[0];
        EXPECT_EQ(0u, alert.find(c.alertStart)) << alert;
        // The data set is named last.
        const std::string named = "\n\nData set: " + c.url;
        ASSERT_GE(alert.size(), named.size()) << alert;
        EXPECT_EQ(named, alert.substr(alert.size() - named.size())) << alert;
        EXPECT_EQ(c.longer, alert.size() > c.alertStart.size() + named.size()) << alert;
        EXPECT_EQ("", Status());
    }
    // Requested together, as one URL's data sets are, they fail in one alert that names each.
    alerts.alerts.clear();
    for (const Case& c : cases)
        Wrapper().FetchExpressionData(c.url.c_str(), nullptr);
    EXPECT_EQ(0, GenesAfterDownloads());
    ASSERT_EQ(1u, alerts.alerts.size());
    EXPECT_EQ(0u, alerts.alerts[0].find("4 data sets could not be loaded.\n")) << alerts.alerts[0];
    for (const Case& c : cases)
        EXPECT_NE(std::string::npos, alerts.alerts[0].find("\n" + c.url + ": " + c.alertStart)) << c.url;
}

TEST_F(DocumentTest, MicroarrayDownloadsRunThroughTheStatusLine)
{
    // This server has no microarray atlas: the download runs, fails and is reported like any other.
    Wrapper().FetchMicroarrayData(Url("/demo/microarray?atlas=351&probes=1,2").c_str(), 1, 2, 0);
    EXPECT_EQ("Downloading data...", Status());
    EXPECT_EQ(0, GenesAfterDownloads());
    ASSERT_EQ(1u, alerts.alerts.size());
    EXPECT_FALSE(alerts.alerts[0].empty());
    EXPECT_EQ("", Status());
}

TEST_F(DocumentTest, DownloadThatCannotStartIsNotCounted)
{
    EXPECT_THROW(Wrapper().FetchExpressionData("", nullptr), std::exception);
    EXPECT_EQ(0, Wrapper().GetNumQueuedExpressionDownloads());
}

TEST_F(DocumentTest, SearchesReuseOrCreateTabsOfTheirKind)
{
    // The scene tab is active: a search creates a list tab, named after the search, and shows it.
    Wrapper().SearchForGene("first", "", "Cx", false);
    ASSERT_EQ(2, Tabs().GetNumTabs());
    EXPECT_EQ(1, Tabs().GetActiveTab());
    EXPECT_FALSE(doc->detailViewIsActive());
    EXPECT_EQ(static_cast<BrainDocTab*>(Tabs().GetTabData(1))->renderer.get(), doc->currentRenderer());
    // The active list tab is reused.
    Wrapper().SearchForGene("second", "", "Cx", false);
    EXPECT_EQ(2, Tabs().GetNumTabs());
    // From the scene tab the last list tab is found again.
    Tabs().SwitchTab(0);
    EXPECT_TRUE(doc->detailViewIsActive());
    EXPECT_EQ(doc->detailRenderer(), doc->currentRenderer());
    Wrapper().SearchForGene("third", "", "Cx", false);
    EXPECT_EQ(2, Tabs().GetNumTabs());
    EXPECT_EQ(1, Tabs().GetActiveTab());
    // A series search gets a tab of its own; a negative domain does nothing at all.
    Wrapper().SearchForGeneById("Abc", "", 7);
    EXPECT_EQ(3, Tabs().GetNumTabs());
    EXPECT_EQ(kTabSeriesSearch, static_cast<BrainDocTab*>(Tabs().GetTabData(2))->type);
    Wrapper().SearchForSimilarGenes("seed", "", 1, -1, 0, false);
    EXPECT_EQ(3, Tabs().GetNumTabs());
    EXPECT_EQ(2, Tabs().GetActiveTab());
    EXPECT_TRUE(Wrapper().CanCloseTab());
    Tabs().SwitchTab(0);
    EXPECT_FALSE(Wrapper().CanCloseTab());
}

TEST_F(DocumentTest, TabLimitBindsOnlyTheNewTabCommand)
{
    for (int i = 0; i < 4; ++i)
    {
        EXPECT_TRUE(Wrapper().CanCreateTab()) << i;
        Wrapper().CreateNewTab(false, kTabDirectedGraph);
    }
    EXPECT_FALSE(Wrapper().CanCreateTab());
    doc->newTab();
    EXPECT_EQ(5, Tabs().GetNumTabs());
    // With four graph tabs a text search still makes a sixth tab, a list, and shows it.
    Wrapper().SearchForGene("term", "", "Cx", false);
    EXPECT_EQ(6, Tabs().GetNumTabs());
    EXPECT_EQ(5, Tabs().GetActiveTab());
    EXPECT_EQ(kTabList, static_cast<BrainDocTab*>(Tabs().GetTabData(5))->type);
}

TEST_F(DocumentTest, ClosingTheRememberedTabFindsTheClosestOfItsKind)
{
    struct Case
    {
        std::vector<TabType> tabs; // after the scene tab
        int remembered;            // index of the remembered list tab, closed by the test
        int expected;              // index of the remembered tab afterwards, -1 for none
    };
    const std::vector<Case> cases = {
        {{kTabList, kTabList, kTabList}, 2, 2},
        {{kTabList, kTabList, kTabDirectedGraph, kTabList}, 2, 1},
        {{kTabList}, 1, -1},
        {{kTabDirectedGraph, kTabList, kTabDirectedGraph, kTabDirectedGraph, kTabList}, 2, 4},
    };
    for (const Case& c : cases)
    {
        while (Tabs().GetNumTabs() > 1)
            Tabs().CloseTab(Tabs().GetNumTabs() - 1);
        for (TabType type : c.tabs)
            Wrapper().CreateNewTab(false, type);
        RunEventsFor(20);
        Tabs().SwitchTab(c.remembered);
        Tabs().SwitchTab(0); // leaving a list tab remembers it
        ASSERT_EQ(Tabs().GetTabData(c.remembered), Wrapper().GetRememberedTab(kTabList));
        Tabs().CloseTab(c.remembered);
        BrainDocTab* now = Wrapper().GetRememberedTab(kTabList);
        EXPECT_EQ(c.expected, now ? Wrapper().FindTab(now) : -1) << c.tabs.size() << " tabs";
        // The closed tab goes once the event that closed it is over.
        EXPECT_EQ(1u, Wrapper().GetNumPendingTabs());
        RunEventsFor(20);
        EXPECT_EQ(0u, Wrapper().GetNumPendingTabs());
    }
    // Without a remembered list tab the next list search makes a new tab.
    while (Tabs().GetNumTabs() > 1)
        Tabs().CloseTab(Tabs().GetNumTabs() - 1);
    EXPECT_EQ(nullptr, Wrapper().GetRememberedTab(kTabList));
    Wrapper().SearchForGene("again", "", "Cx", false);
    EXPECT_EQ(2, Tabs().GetNumTabs());
    EXPECT_EQ(-1, Wrapper().FindTab(nullptr));
}

TEST_F(DocumentTest, CloseKeysFollowTheTabsAndTheKeyWindow)
{
    CorvaneWindowController* window = doc->windowController();
    const QKeySequence commandW(Qt::CTRL | Qt::Key_W);
    const QKeySequence commandShiftW(Qt::CTRL | Qt::SHIFT | Qt::Key_W);
    doc->windowDidBecomeKey();
    EXPECT_EQ(commandW, window->closeWindowAction->shortcut());
    EXPECT_TRUE(window->closeTabAction->shortcut().isEmpty());
    Wrapper().CreateNewTab(true, kTabList);
    EXPECT_EQ(commandW, window->closeTabAction->shortcut());
    EXPECT_EQ(commandShiftW, window->closeWindowAction->shortcut());
    EXPECT_TRUE(window->closeTabAction->isEnabled());
    doc->windowDidResignKey();
    EXPECT_EQ(commandW, window->closeWindowAction->shortcut());
    EXPECT_TRUE(window->closeTabAction->shortcut().isEmpty());
    EXPECT_EQ(nullptr, CorvaneDoc::CurrentDoc());
    doc->windowDidBecomeKey();
    EXPECT_EQ(doc, CorvaneDoc::CurrentDoc());
    doc->closeTab();
    RunEventsFor(20);
    EXPECT_EQ(1, Tabs().GetNumTabs());
    EXPECT_EQ(commandW, window->closeWindowAction->shortcut());
    EXPECT_FALSE(window->closeTabAction->isEnabled());
}

TEST_F(DocumentTest, DataSetFileOfAnotherAtlasIsRefused)
{
    const std::vector<std::string> ids = ServedDataSetIds(1);
    ASSERT_EQ(1u, ids.size());
    TempDir files;
    const std::string path = files.File("data set.zip");
    ASSERT_EQ(0, std::system(("python3 -c 'import sys, urllib.request; open(sys.argv[2], \"wb\").write("
                              "urllib.request.urlopen(sys.argv[1]).read())' '" +
                              Url("/demo/data/" + ids[0]) + "' '" + path + "'")
                                 .c_str()));
    // Installing reloads the atlas set: the documents open afterwards.
    Install(350, "micro");
    doc = Open(310);
    CorvaneDoc* other = Open(350);
    ASSERT_NE(nullptr, other);
    EXPECT_FALSE(other->readFromFile(path, "xpz"));
    ASSERT_EQ(1u, alerts.alerts.size());
    EXPECT_EQ("Could not open file " + path + "\n\nIncorrect atlas", alerts.alerts[0]);
    EXPECT_EQ(0, other->expressionModel()->GetNumGenes());
    // The file's own atlas takes it.
    EXPECT_TRUE(doc->readFromFile(path, "xpz"));
    EXPECT_EQ(1, doc->expressionModel()->GetNumGenes());
    // A file that is no data set at all.
    const std::string junk = files.Write("junk.zip", "not a zip archive");
    alerts.alerts.clear();
    EXPECT_FALSE(doc->readFromFile(junk, "xpz"));
    ASSERT_EQ(1u, alerts.alerts.size());
    EXPECT_EQ(0u, alerts.alerts[0].find("Could not open file " + junk + "\n\n")) << alerts.alerts[0];
    EXPECT_EQ(1, doc->expressionModel()->GetNumGenes());
}

TEST_F(DocumentTest, ClosingTheWindowSavesTheViewSettings)
{
    doc->windowController()->ontologyViewStyle->SetSelectedSegment(0);
    doc->setOntologyDisplayMode(0);
    doc->showViewSettings();
    doc->toggleExpandedView();
    bool closed = false;
    QObject::connect(doc, &CorvaneDoc::Closed, [&] { closed = true; });
    doc->performClose();
    EXPECT_TRUE(closed);
    int mode = -1;
    bool expanded = false;
    bool imageControls = false;
    UserPreferences::GetPreferences()->LoadViewSettings(mode, expanded, imageControls);
    EXPECT_EQ(0, mode);
    EXPECT_TRUE(expanded);
    EXPECT_TRUE(imageControls);
    EXPECT_TRUE(root.Store().HasValue("DocumentWindowLocation"));
    // A new window of the atlas starts as the last one was left.
    CorvaneDoc* again = Open(310);
    ASSERT_NE(nullptr, again);
    EXPECT_EQ(0, again->ontologyDisplayMode());
    EXPECT_FALSE(again->windowController()->listContainerView->isVisibleTo(again->windowController()));
    EXPECT_TRUE(again->windowController()->viewSettingsContainer->isVisibleTo(again->windowController()));
}

TEST_F(DocumentTest, SwitchingToAResultTabDisablesTheSceneControls)
{
    CorvaneWindowController* window = doc->windowController();
    EXPECT_TRUE(window->selectionTools->isEnabled());
    EXPECT_TRUE(window->atlasPlaneToggleBar->isEnabled());
    EXPECT_TRUE(window->zoomSlider->isEnabled());
    Wrapper().CreateNewTab(true, kTabList);
    EXPECT_FALSE(window->selectionTools->isEnabled());
    EXPECT_FALSE(window->atlasPlaneToggleBar->isEnabled());
    EXPECT_FALSE(window->zoomSlider->isEnabled());
    Tabs().SwitchTab(0);
    EXPECT_TRUE(window->selectionTools->isEnabled());
    EXPECT_TRUE(window->atlasPlaneToggleBar->isEnabled());
    EXPECT_TRUE(window->zoomSlider->isEnabled());
}

TEST(WindowLayoutTest, DividerStaysBetweenItsLimits)
{
    struct Case
    {
        int position, contentHeight, expected;
    };
    for (const Case& c : {Case{50, 600, 120}, Case{300, 600, 300}, Case{560, 600, 495}, Case{120, 600, 120}})
        EXPECT_EQ(c.expected, CorvaneWindowController::ConstrainDivider(c.position, c.contentHeight)) << c.position;
}

} // namespace
