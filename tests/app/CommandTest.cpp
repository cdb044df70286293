// The document's commands in a real window over the demo server: which menu items are enabled and checked,
// the structure sets the outline check boxes change, the searches the server sees, the data-set table,
// tabs, view settings and bookmarks.

#include "ShellTestSupport.h"

#include "app/BookmarkEditor.h"
#include "app/BookmarkNode.h"
#include "app/BookmarksController.h"
#include "app/BookmarksDataSource.h"
#include "app/CorvaneWindowController.h"
#include "app/DocumentToolbar.h"
#include "app/GeneTableModel.h"
#include "app/OntologyDataSource.h"
#include "app/PreferencesController.h"
#include "app/SegmentedControl.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/AtlasSpace.h"
#include "atlas/BrainOntology.h"
#include "core/OSUtils.h"
#include "expression/Bookmark.h"
#include "expression/BrainExpressionModel.h"
#include "expression/Expressor.h"
#include "expression/GeneExpression.h"
#include "gl/TabControlRenderer.h"
#include "platform/QtAlertPresenter.h"
#include "views/GeneRelationGraphRenderer.h"

#include <QAction>
#include <QClipboard>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTableView>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

namespace
{

using Selector = BrainExpressionModel::Selector;

// Model events as they arrive: code and argument.
class RecordingListener : public BrainExpressionModelListener
{
public:
    explicit RecordingListener(BrainExpressionModel* model)
        : m_model(model)
    {
        model->AddListener(this);
    }
    ~RecordingListener() override { m_model->RemoveListener(this); }
    RecordingListener(const RecordingListener&) = delete;
    RecordingListener& operator=(const RecordingListener&) = delete;

    void ModelChanged(int code, BrainExpressionModel*, int argument) override { events.emplace_back(code, argument); }
    int Count(int code) const
    {
        return static_cast<int>(std::count_if(events.begin(), events.end(), [&](auto& e) { return e.first == code; }));
    }
    std::vector<std::pair<int, int>> events;

private:
    BrainExpressionModel* m_model;
};

class CommandTest : public DocumentFixture
{
protected:
    BrainExpressionModel& Model() { return *doc->expressionModel(); }
    CorvaneWindowController& Window() { return *doc->windowController(); }
    const AnnotationLabel* Label(const std::string& acronym)
    {
        const AnnotationLabel* label = Model().GetAtlas()->GetOntology()->GetAnnotationLabel(acronym);
        EXPECT_TRUE(label && label->index != 0) << acronym;
        return label;
    }
    bool Shown(const Selector& selector, const AnnotationLabel* label) { return selector.Intersects(label->selector); }
    void SetShown(const std::vector<const AnnotationLabel*>& labels, bool shown)
    {
        Selector selector = Model().GetStructureSelector();
        for (const AnnotationLabel* label : labels)
            selector.Set(label->selector, shown);
        Model().SetStructureSelector(selector, true);
    }
    // Downloads the first `count` served data sets into the model.
    // Downloads served data sets until the model holds `count` (the server may serve one twice).
    void LoadDataSets(int count)
    {
        for (const std::string& id : ServedDataSetIds(count + 6))
        {
            if (Model().GetNumGenes() == count)
                break;
            Wrapper().FetchExpressionData(Url("/demo/data/" + id).c_str(), nullptr);
            ASSERT_TRUE(RunEventsUntil([&] { return Wrapper().GetNumQueuedExpressionDownloads() == 0; }, 60000));
        }
        ASSERT_EQ(count, Model().GetNumGenes()) << (alerts.alerts.empty() ? "" : alerts.alerts[0]);
    }
    void SelectRows(const std::vector<int>& rows)
    {
        QTableView* table = Window().geneListView;
        table->clearSelection();
        for (int row : rows)
            table->selectionModel()->select(table->model()->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // "on"/"off" for enabled, then "+" or "-" for a check mark when the item carries one.
    std::string ItemState(const char* action, int tag)
    {
        QAction* item = Window().FindAction(action, tag);
        if (!item)
            return "missing";
        doc->validateMenuItem();
        std::string state = item->isEnabled() ? "on" : "off";
        if (item->isCheckable())
            state += item->isChecked() ? "+" : "-";
        return state;
    }
    bool LogHas(const std::string& path, const std::string& query)
    {
        return RunEventsUntil(
            [&] {
                const std::string log = DemoServer::Get().Log();
                for (std::size_t at = log.find("\"" + path + "\""); at != std::string::npos;
                     at = log.find("\"" + path + "\"", at + 1))
                {
                    const std::size_t end = log.find('\n', at);
                    if (log.substr(at, end - at).find(query) != std::string::npos)
                        return true;
                }
                return false;
            },
            20000);
    }
};

TEST_F(CommandTest, ValidationTableInTheSceneAndInAResultTab)
{
    LoadDataSets(1);
    SelectRows({0});
    const AnnotationLabel* structure = Label("DG");
    SetShown({structure}, true);
    Model().SelectStructure(structure, true);
    Window().geneListView->setFocus();
    Model().SetGeneColorMode(3, true);
    Model().SetToolMode(BrainExpressionModel::ROTATE_TOOL);
    struct Row
    {
        const char* action;
        int tag;
        const char* scene;
        const char* result;
    };
    const Row rows[] = {
        {"importGeneList:", 0, "off", "off"},
        {"exportGene:", 0, "off", "off"},
        {"importGeneRelations:", 0, "on", "on"},
        {"closeGene:", 0, "on", "on"},
        {"showGeneInfo:", 0, "on", "on"},
        {"copyGeneInfo:", 0, "on", "on"},
        {"copy:", 0, "on", "on"},
        {"viewGeneImages:", 0, "off", "off"},
        {"findSimilarGenes:", 0, "on", "on"},
        {"findSimilarGenes:imageSeries:", 0, "on", "on"},
        {"findGenesByAnatomy:", 0, "on", "on"},
        {"findProjectionsFromStructure:", 0, "on", "on"},
        {"findProjectionsToStructure:", 0, "on", "on"},
        {"newTab:", 0, "on", "on"},
        {"closeTab:", 0, "off", "on"},
        {"cycleNextTab:", 0, "off", "on"},
        {"cyclePreviousTab:", 0, "off", "on"},
        {"showSearchableStructures:", 0, "on", "off"},
        {"showInnerStructures:", 0, "on", "off"},
        {"deselectStructures:", 0, "on", "off"},
        {"resetView:", 0, "on", "off"},
        {"showAllViews:", 0, "off", "off"}, // the atlas has one space, always shown
        {"goToSnapbackBookmark:", 0, "off", "off"},
        {"toggleTransparentStructures:", 0, "on-", "off-"},
        {"blendAtlasAnnotation:", 0, "on+", "off+"},
        {"toggleExpandedView:", 0, "on-", "on-"},
        {"showViewSettings:", 0, "on-", "on-"},
        {"changeGeneColorMode:", 0, "on-", "off-"},
        {"changeGeneColorMode:", 3, "on+", "off+"},
        {"changeGeneColorMode:", 4, "on-", "off-"},
        {"changeCompassMode:", 0, "on+", "off+"},
        {"changeCompassMode:", 2, "on-", "off-"},
        {"changeAtlasPlaneVisibility:", 1, "on-", "off-"},
        {"changeToolMode:", 0, "on+", "off+"},
        {"changeToolMode:", 2, "on-", "off-"},
        {"toggleCuttingPlanes:", 0, "on-", "off-"},
        {"setExpressionThresholds:", 0, "on+", "off+"},
        {"delete:", 0, "off", "off"},
        {"addBookmark:", 0, "off", "off"},
        {"addBookmarkGroup:", 0, "off", "off"},
        {"markSnapbackBookmark:", 0, "on", "on"},
        {"showFullResolutionAtlasImage:", 0, "off", "off"},
        {"centerViewOnSelection:", 0, "on", "off"},
        {"showEnclosingStructure:", 0, "on", "off"},
    };
    for (const bool scene : {true, false})
    {
        if (!scene)
            Wrapper().CreateNewTab(true, kTabList);
        ASSERT_EQ(scene, doc->detailViewIsActive());
        for (const Row& row : rows)
            EXPECT_EQ(scene ? row.scene : row.result, ItemState(row.action, row.tag))
                << row.action << " " << row.tag << (scene ? " in the scene" : " in a result tab");
    }
}

TEST_F(CommandTest, ValidationFollowsSelectionsTabsAndLoading)
{
    struct Case
    {
        const char* name;
        std::function<void()> change;
        const char* action;
        int tag;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"no data set selected", [] {}, "closeGene:", 0, "off"},
        {"no data set selected", [] {}, "findSimilarGenes:", 0, "off"},
        {"no structure", [] {}, "findGenesByAnatomy:", 0, "off"},
        {"no structure, no probe", [] {}, "showEnclosingStructure:", 0, "off"},
        {"the root has no parent", [&] { Model().SelectStructure(Label("Br"), true); }, "showEnclosingStructure:", 0,
         "off"},
        {"a visible probe",
         [&] {
             Model().SelectStructure(nullptr, true);
             Model().SetProbeVisible(true, true);
         },
         "showEnclosingStructure:", 0, "on"},
        {"bookmarks pane", [&] { doc->setOntologyDisplayMode(2); }, "addBookmark:", 0, "on"},
        {"bookmarks pane", [] {}, "addBookmarkGroup:", 0, "on"},
        {"snap-back marked", [&] { doc->markSnapbackBookmark(); }, "goToSnapbackBookmark:", 0, "on"},
        {"blending off", [&] { Model().SetAnnotationAlpha(0.0f, true); }, "blendAtlasAnnotation:", 0, "on-"},
        {"translucent", [&] { doc->toggleTransparentStructures(); }, "toggleTransparentStructures:", 0, "on+"},
        {"expanded", [&] { doc->toggleExpandedView(); }, "toggleExpandedView:", 0, "on+"},
        {"view settings", [&] { doc->showViewSettings(); }, "showViewSettings:", 0, "on+"},
        {"five tabs",
         [&] {
             for (int i = 0; i < 4; ++i)
                 Wrapper().CreateNewTab(false, kTabList);
         },
         "newTab:", 0, "off"},
        {"five tabs, scene active", [] {}, "closeTab:", 0, "off"},
        {"five tabs, tab 4 active", [&] { Tabs().SwitchTab(4); }, "closeTab:", 0, "on"},
    };
    for (const Case& c : cases)
    {
        c.change();
        EXPECT_EQ(c.expected, ItemState(c.action, c.tag)) << c.name << ": " << c.action;
    }

    // While a section plane waits for the full atlas its items are off; afterwards the plane is shown.
    Tabs().SwitchTab(0);
    ASSERT_FALSE(Model().GetAtlas()->GetSpace(0u)->FullAtlasIsLoaded());
    Window().FindAction("changeAtlasPlaneVisibility:", 0)->trigger();
    EXPECT_TRUE(doc->atlasLoading());
    for (int plane = 0; plane < 3; ++plane)
        EXPECT_EQ("off-", ItemState("changeAtlasPlaneVisibility:", plane)) << plane;
    EXPECT_FALSE(Window().atlasPlaneToggleBar->isEnabled());
    // A second request meanwhile changes nothing.
    doc->changeAtlasPlaneVisibility(2);
    ASSERT_TRUE(RunEventsUntil([&] { return !doc->atlasLoading(); }, 60000));
    EXPECT_EQ("on+", ItemState("changeAtlasPlaneVisibility:", 0));
    EXPECT_EQ("on-", ItemState("changeAtlasPlaneVisibility:", 2));
    EXPECT_TRUE(Window().atlasPlaneToggleBar->IsSelected(1)); // the coronal segment
    EXPECT_TRUE(Window().atlasPlaneToggleBar->isEnabled());
    // Loaded now: the next plane changes at once.
    doc->changeAtlasPlaneVisibility(2);
    EXPECT_FALSE(doc->atlasLoading());
    EXPECT_EQ("on+", ItemState("changeAtlasPlaneVisibility:", 2));
    EXPECT_TRUE(Window().atlasPlaneToggleBar->IsSelected(0));
}

TEST_F(CommandTest, AtlasWithoutSearchInTheProgram)
{
    Install(351, "micro");
    // The atlas also gets a differential search page, opened in the browser with the structure's name.
    const std::string info = root.Folder("351") + "/Info.xml";
    std::string text = ReadBytes(info);
    const std::size_t end = text.find("</urls>");
    ASSERT_NE(std::string::npos, end);
    text.insert(end, "<differentialSearch>%1%/search/0351/differential?name=%2%</differentialSearch>\n");
    WriteBytes(info, text);
    AtlasSet::GetAtlases()->Reload();
    doc = Open(351);
    ASSERT_NE(nullptr, doc);
    RecordingBrowser browser;

    // The colour mode of constant colour is no choice for this atlas, even while it is in force.
    Model().SetGeneColorMode(0, true);
    EXPECT_EQ("off-", ItemState("changeGeneColorMode:", 0));
    EXPECT_EQ("on-", ItemState("changeGeneColorMode:", 1));
    EXPECT_EQ("off", ItemState("findSimilarGenes:imageSeries:", 0));
    EXPECT_EQ("off", ItemState("showAnatomicSearch:", 0));
    // No high-resolution views: the view settings stay hidden.
    EXPECT_EQ("off-", ItemState("showViewSettings:", 0));
    doc->showViewSettings();
    EXPECT_FALSE(Window().viewSettingsContainer->isVisibleTo(&Window()));

    doc->searchForGene("a&b #c");
    doc->searchForGene("   ");
    Model().SelectStructure(Label("BS"), true);
    doc->findGenesByAnatomy();
    ASSERT_EQ(2u, browser.urls.size());
    EXPECT_EQ(Url("/search/0351/gene?term=a%26b%20%23c"), browser.urls[0]);
    EXPECT_EQ(Url("/search/0351/differential?name=Brain%20stem"), browser.urls[1]);
    EXPECT_EQ(1, Tabs().GetNumTabs());
    // Without a browser such a search tells the user, with the page's address to copy.
    alerts.alerts.clear();
    browser.opens = false;
    doc->searchForGene("sonic");
    ASSERT_EQ(1u, alerts.alerts.size());
    EXPECT_EQ(OSUtils::BrowserFailureMessage(Url("/search/0351/gene?term=sonic")), alerts.alerts[0]);
    browser.opens = true;
    alerts.alerts.clear();

    // The hierarchy's plain click shows or hides a whole subtree; the alphabetical list's only the structure.
    const AnnotationLabel* bs = Label("BS");
    const AnnotationLabel* child = bs->children.front();
    Model().SetStructureSelector(Selector(Model().GetAtlas()->GetOntology()->GetNumLabels(), false), true);
    doc->toggleOntologyStructureCheckbox(bs, Qt::NoModifier);
    EXPECT_TRUE(Shown(Model().GetStructureSelector(), child));
    doc->toggleOntologyStructureCheckbox(bs, Qt::NoModifier);
    EXPECT_FALSE(Shown(Model().GetStructureSelector(), bs));
    EXPECT_FALSE(Shown(Model().GetStructureSelector(), child));
    doc->setOntologyDisplayMode(0);
    doc->toggleOntologyStructureCheckbox(bs, Qt::NoModifier);
    EXPECT_TRUE(Shown(Model().GetStructureSelector(), bs));
    EXPECT_FALSE(Shown(Model().GetStructureSelector(), child));
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(CommandTest, StructureCheckBoxesAndSets)
{
    const AnnotationLabel* iso = Label("Iso");
    const AnnotationLabel* area = iso->children.front();
    ASSERT_GE(iso->children.size(), 4u);
    const auto siblingsShown = [&](bool shown) {
        for (const AnnotationLabel* sibling : iso->children)
            if (Shown(Model().GetStructureSelector(), sibling) != shown)
                return false;
        return true;
    };
    // Option on a shown structure hides it and its siblings; again, shows them all.
    SetShown({area}, true);
    doc->toggleOntologyStructureCheckbox(area, Qt::AltModifier);
    EXPECT_TRUE(siblingsShown(false));
    doc->toggleOntologyStructureCheckbox(area, Qt::AltModifier);
    EXPECT_TRUE(siblingsShown(true));
    // A plain click toggles the structure alone; no row, nothing.
    doc->toggleOntologyStructureCheckbox(area, Qt::NoModifier);
    EXPECT_FALSE(Shown(Model().GetStructureSelector(), area));
    EXPECT_TRUE(Shown(Model().GetStructureSelector(), iso->children.back()));
    const Selector before = Model().GetStructureSelector();
    doc->toggleOntologyStructureCheckbox(nullptr, Qt::AltModifier);
    doc->toggleOntologyExpressionCheckbox(nullptr, Qt::NoModifier);
    doc->toggleOntologyStructureSiblings(nullptr);
    EXPECT_EQ(before, Model().GetStructureSelector());

    // The siblings command leaves a shown parent hidden.
    SetShown({iso}, true);
    SetShown({iso->children.begin(), iso->children.end()}, false);
    doc->toggleOntologyStructureSiblings(area);
    EXPECT_TRUE(siblingsShown(true));
    EXPECT_FALSE(Shown(Model().GetStructureSelector(), iso));

    // Data check box: the subtree in the hierarchy, the structure alone in the list.
    doc->hideAllExpression();
    doc->toggleOntologyExpressionCheckbox(iso, Qt::NoModifier);
    EXPECT_TRUE(Shown(Model().GetExpressionSelector(), area));
    doc->setOntologyDisplayMode(0);
    doc->hideAllExpression();
    doc->toggleOntologyExpressionCheckbox(iso, Qt::AltModifier); // Option means nothing in the list
    EXPECT_TRUE(Shown(Model().GetExpressionSelector(), iso));
    EXPECT_FALSE(Shown(Model().GetExpressionSelector(), area));

    // Blending from 0.4: off, then the default blend.
    Model().SetAnnotationAlpha(0.4f, true);
    for (const float expected : {0.0f, 0.15f})
    {
        doc->blendAtlasAnnotation();
        EXPECT_FLOAT_EQ(expected, Model().GetAnnotationAlpha());
    }
    doc->deselectStructures();
    EXPECT_TRUE(Model().GetStructureSelector().IsEmpty());
}

TEST_F(CommandTest, EnclosingStructure)
{
    // From the selected structure: its parent, shown and selected.
    const AnnotationLabel* dg = Label("DG");
    Model().SelectStructure(dg, true);
    doc->showEnclosingStructure();
    EXPECT_TRUE(Shown(Model().GetStructureSelector(), dg->parent));
    EXPECT_EQ(dg->parent, Model().GetSelectedStructure());
    // Already shown: nothing changes.
    Model().SelectStructure(dg, true);
    RecordingListener events(&Model());
    doc->showEnclosingStructure();
    EXPECT_TRUE(events.events.empty());
    EXPECT_EQ(dg, Model().GetSelectedStructure());

    // A visible probe without a space has nothing under it: nothing happens.
    Model().SelectStructure(nullptr, true);
    Model().SetProbeVisible(true, true);
    ASSERT_EQ(nullptr, Model().GetProbeAtlasSpace());
    ASSERT_TRUE(Model().GetProbeVisible());
    const Selector before = Model().GetStructureSelector();
    doc->showEnclosingStructure();
    EXPECT_EQ(before, Model().GetStructureSelector());
    // In a space, the structure under the probe at the brain's middle.
    AtlasSpace* space = Model().GetAtlas()->GetSpace(0u);
    const float middle[3] = {0.5f, 0.5f, 0.5f};
    doc->deselectStructures();
    Model().SetProbeLocation(middle, space, true);
    Model().SetProbeVisible(true, true);
    doc->showEnclosingStructure();
    const AnnotationLabel* probed = Model().GetSelectedStructure();
    ASSERT_NE(nullptr, probed);
    EXPECT_NE(0u, probed->index);
    EXPECT_TRUE(Shown(Model().GetStructureSelector(), probed));

    // From a selected expressor: its structure, and the expressor is no longer selected.
    Model().SetProbeVisible(false, true);
    LoadDataSets(1);
    GeneExpression* gene = Model().GetGene(0).get();
    AtlasSpace* geneSpace = gene->GetAtlasSpace(0);
    Expressor* expressor = nullptr;
    for (Expressor& e : *gene->GetExpressors(geneSpace))
        if (e.label && e.label->index != 0 && e.label != probed)
        {
            expressor = &e;
            break;
        }
    ASSERT_NE(nullptr, expressor);
    doc->deselectStructures();
    Model().SelectExpressor(gene, geneSpace, expressor, true);
    doc->showEnclosingStructure();
    EXPECT_EQ(expressor->label, Model().GetSelectedStructure());
    EXPECT_EQ(nullptr, Model().GetSelectedExpressor());
    EXPECT_TRUE(Shown(Model().GetStructureSelector(), expressor->label));
}

TEST_F(CommandTest, SwitchingPanesScrollsTheSelectionToTheMiddle)
{
    struct Case
    {
        int selected, visible, count, expected;
    };
    for (const Case& c : {Case{50, 20, 100, 60}, Case{90, 20, 100, 99}, Case{10, 20, 100, 10}, Case{0, 20, 5, 4},
                          Case{19, 20, 100, 19}, Case{20, 20, 100, 30}})
        EXPECT_EQ(c.expected, CorvaneDoc::OntologyScrollRow(c.selected, c.visible, c.count)) << c.selected;

    // In the window: a small outline, a structure far down, the pane switched there and back.
    Window().resize(900, 400);
    Model().SelectStructure(Label("V4"), true);
    for (const int mode : {0, 2, 1})
    {
        doc->setOntologyDisplayMode(mode);
        RunEventsFor(20);
        EXPECT_EQ(mode, doc->ontologyDisplayMode());
        QTreeView* outline = doc->ontologyView();
        if (!outline)
            continue;
        const QModelIndexList selected = outline->selectionModel()->selectedRows();
        ASSERT_EQ(1, selected.size()) << mode;
        EXPECT_TRUE(outline->viewport()->rect().contains(outline->visualRect(selected.front()))) << mode;
    }
    // The structure filter keeps names and acronyms that hold the text, in any case.
    const int all = Window().alphaOntologyView->model()->rowCount();
    doc->searchForStructure("TH");
    const int shown = Window().alphaOntologyView->model()->rowCount();
    EXPECT_GT(shown, 1);
    EXPECT_LT(shown, all);
    doc->searchForStructure("");
}

TEST_F(CommandTest, SearchesReachTheServer)
{
    LoadDataSets(1);
    SelectRows({0});
    const AnnotationLabel* dg = Label("DG");
    Model().SelectStructure(dg, true);
    const std::string root =
        std::to_string(Model().GetAtlas()->GetOntology()->GetAnnotationLabelByIndex(1)->databaseId);
    const std::string id = std::to_string(dg->databaseId);
    const std::string series = std::to_string(Model().GetGene(0)->GetImageSeriesId());
    struct Case
    {
        const char* action;
        const char* path;
        std::string query;
    };
    const std::vector<Case> cases = {
        {"findGenesByAnatomy:", "/search/0310/differential", "target=" + root + "&contrast=" + id},
        {"findProjectionsFromStructure:", "/search/0378/gene", "term=" + id},
        {"findProjectionsToStructure:", "/search/0378/differential", "target=" + root + "&contrast=" + id},
        {"findSimilarGenes:", "/search/0310/correlation", "seed=" + series},
    };
    for (const Case& c : cases)
    {
        Tabs().SwitchTab(0);
        Window().FindAction(c.action)->trigger();
        EXPECT_TRUE(LogHas(c.path, c.query)) << c.action << "\n" << DemoServer::Get().Log();
        EXPECT_FALSE(doc->detailViewIsActive()) << c.action;
    }
    doc->searchForGene("  Cx  ");
    EXPECT_TRUE(LogHas("/search/0310/gene", "&term=Cx\"")) << DemoServer::Get().Log();
    EXPECT_TRUE(alerts.alerts.empty());

    // A data set that cannot seed a similarity search says so.
    Model().GetGene(0)->SetCorrelationSearchAvailable(false);
    EXPECT_EQ("off", ItemState("findSimilarGenes:", 0));
    doc->findSimilarGenes();
    ASSERT_EQ(1u, alerts.alerts.size());
    EXPECT_EQ("Not enough information to find similar data sets.", alerts.alerts[0]);
}

TEST_F(CommandTest, DataSetRows)
{
    LoadDataSets(6);
    std::vector<int> ids;
    for (int i = 0; i < 6; ++i)
        ids.push_back(Model().GetGene(i)->GetImageSeriesId());

    // Copy: a header, then the rows in ascending order.
    SelectRows({3, 1});
    doc->copyGeneInfo();
    std::string expected = "Symbol\tName\tImage Series ID\n";
    for (int row : {1, 3})
    {
        const auto gene = Model().GetGene(row);
        expected += gene->GetSymbol() + "\t" + gene->GetName() + "\t" + std::to_string(ids[row]) + "\n";
    }
    EXPECT_EQ(expected, QGuiApplication::clipboard()->text().toStdString());
    // Copy from the table is the same; from an outline, the structure's name and acronym.
    QGuiApplication::clipboard()->clear();
    // The menu is validated as it opens: focus moved in a window that is not active (another window
    // has the activation) tells no one.
    Window().geneListView->setFocus();
    EXPECT_EQ("on", ItemState("copy:", 0));
    Window().FindAction("copy:")->trigger();
    EXPECT_EQ(expected, QGuiApplication::clipboard()->text().toStdString());
    Model().SelectStructure(Label("DG"), true);
    Window().hierOntologyView->setFocus();
    EXPECT_EQ("on", ItemState("copy:", 0));
    doc->copy();
    EXPECT_EQ("Dentate gyrus (DG)", QGuiApplication::clipboard()->text().toStdString());

    // Closing rows 2 and 5 removes 5 first, then 2, and selects row 2 of the four left.
    SelectRows({2, 5});
    {
        RecordingListener events(&Model());
        doc->closeGene();
        std::vector<int> removed;
        for (const auto& e : events.events)
            if (e.first == GENE_REMOVING)
                removed.push_back(e.second);
        EXPECT_EQ(std::vector<int>({5, 2}), removed);
    }
    std::vector<int> left;
    for (int i = 0; i < Model().GetNumGenes(); ++i)
        left.push_back(Model().GetGene(i)->GetImageSeriesId());
    EXPECT_EQ(std::vector<int>({ids[0], ids[1], ids[3], ids[4]}), left);
    EXPECT_EQ(std::vector<int>({2}), doc->selectedGeneRows());
    EXPECT_EQ(Model().GetGene(2).get(), Model().GetSelectedGene());

    // Info pages of the selected rows; the colour panel starts at the first row's colour and sets it.
    RecordingBrowser browser;
    SelectRows({0, 3});
    doc->showGeneInfo();
    EXPECT_EQ(2u, browser.urls.size());
    doc->chooseGeneColor();
    auto* panel = Window().findChild<QColorDialog*>("colorPanel");
    ASSERT_NE(nullptr, panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_NEAR(Model().GetGene(0)->GetColor()[1], panel->currentColor().greenF(), 1.0f / 255);
    emit panel->colorSelected(QColor::fromRgbF(0.25f, 0.5f, 1.0f));
    EXPECT_NEAR(0.25f, Model().GetGene(0)->GetColor()[0], 1e-4f); // the panel's 16 bits a channel
    panel->close();
    SelectRows({2});
    doc->toggleGeneVisible(2);
    EXPECT_FALSE(Model().GetGene(2)->IsVisible());
    doc->toggleGeneVisible(7); // no such row

    // Closing the last rows leaves the last one selected; the only one, none.
    SelectRows({3});
    doc->closeGene();
    EXPECT_EQ(std::vector<int>({2}), doc->selectedGeneRows());
    SelectRows({0, 1, 2});
    doc->closeGene();
    EXPECT_EQ(0, Model().GetNumGenes());
    EXPECT_TRUE(doc->selectedGeneRows().empty());
    doc->closeGene();
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(CommandTest, TabsCompassAndExpressionFilter)
{
    // Cycling needs two tabs; it wraps both ways.
    doc->cycleNextTab();
    doc->cyclePreviousTab();
    EXPECT_EQ(0, Tabs().GetActiveTab());
    Wrapper().CreateNewTab(false, kTabList);
    Wrapper().CreateNewTab(false, kTabList);
    struct Step
    {
        const char* action;
        int from, to;
    };
    for (const Step& s : {Step{"cyclePreviousTab:", 0, 2}, Step{"cycleNextTab:", 2, 0}, Step{"cycleNextTab:", 0, 1}})
    {
        Tabs().SwitchTab(s.from);
        Window().FindAction(s.action)->trigger();
        EXPECT_EQ(s.to, Tabs().GetActiveTab()) << s.action << " from " << s.from;
    }
    doc->closeTab();
    RunEventsFor(20);
    EXPECT_EQ(2, Tabs().GetNumTabs());
    Tabs().SwitchTab(0);
    doc->closeTab(); // the scene stays
    EXPECT_EQ(2, Tabs().GetNumTabs());

    // The compass place in force sends nothing.
    {
        RecordingListener events(&Model());
        doc->changeCompassMode(Model().GetCompassLocation());
        EXPECT_EQ(0, events.Count(COMPASS_LOCATION_CHANGED));
        doc->changeCompassMode(BrainExpressionModel::COMPASS_HIDDEN);
        EXPECT_EQ(1, events.Count(COMPASS_LOCATION_CHANGED));
    }
    // Tool modes from the menu move the tool control too.
    doc->changeToolMode(BrainExpressionModel::PICK_TOOL);
    EXPECT_EQ(BrainExpressionModel::PICK_TOOL, Model().GetToolMode());
    EXPECT_EQ(2, Window().selectionTools->GetSelectedSegment());

    // Inverting the data filter twice gives it back, and never names a label past the ontology's last.
    const unsigned int labels = Model().GetAtlas()->GetOntology()->GetNumLabels();
    const auto pastTheEnd = [&] {
        const Selector& s = Model().GetExpressionSelector();
        for (unsigned int i = labels; i < s.GetNumWords() * Selector::BITS; ++i)
            if (s.IsSet(i))
                return true;
        return false;
    };
    doc->hideAllExpression();
    doc->toggleOntologyExpressionCheckbox(Label("HiF"), Qt::NoModifier);
    for (const char* start : {"toggleAllExpression:", "showAllExpression:"})
    {
        Window().FindAction(start)->trigger();
        const Selector before = Model().GetExpressionSelector();
        doc->toggleAllExpression();
        EXPECT_NE(before, Model().GetExpressionSelector());
        EXPECT_FALSE(pastTheEnd());
        doc->toggleAllExpression();
        EXPECT_EQ(before, Model().GetExpressionSelector());
    }
    doc->showAllExpression();
    doc->toggleAllExpression();
    EXPECT_TRUE(Model().GetExpressionSelector().IsEmpty());
}

TEST_F(CommandTest, BookmarksAndSnapBack)
{
    // Marked outside the scene, the snap-back view holds the data filter only.
    Wrapper().CreateNewTab(true, kTabList);
    doc->hideAllExpression();
    doc->markSnapbackBookmark();
    ASSERT_NE(nullptr, doc->snapBackBookmark());
    EXPECT_EQ(Bookmark::EXPRESSION_FILTER, doc->snapBackBookmark()->GetFlags());
    const Selector filter = Model().GetExpressionSelector();
    doc->showAllExpression();
    const float turned[4] = {0.0f, 0.0f, 0.70710677f, 0.70710677f};
    Model().SetRotation(turned, true);
    doc->goToSnapbackBookmark();
    RunEventsUntil([&] { return filter == Model().GetExpressionSelector(); }, 5000);
    EXPECT_EQ(filter, Model().GetExpressionSelector());
    EXPECT_FLOAT_EQ(turned[2], Model().GetRotation()[2]);

    // A click with Command, Shift or Control neither restores nor marks the snap-back view.
    Tabs().SwitchTab(0);
    doc->showAllExpression();
    const Bookmark saved("Saved", Bookmark::EVERYTHING, &Model());
    doc->hideAllExpression();
    const Bookmark* snapBack = doc->snapBackBookmark();
    for (const Qt::KeyboardModifiers keys :
         {Qt::KeyboardModifiers(Qt::ControlModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
          Qt::KeyboardModifiers(Qt::MetaModifier)})
    {
        doc->restoreBookmarkFromView(&saved, keys);
        EXPECT_TRUE(Model().GetExpressionSelector().IsEmpty());
        EXPECT_EQ(snapBack, doc->snapBackBookmark());
    }
    doc->restoreBookmarkFromView(nullptr, Qt::NoModifier); // a group or no row
    EXPECT_EQ(snapBack, doc->snapBackBookmark());
    // A plain click (Option: at once) restores it and keeps the view before as the snap-back view.
    doc->restoreBookmarkFromView(&saved, Qt::AltModifier);
    RunEventsUntil([&] { return !Model().GetExpressionSelector().IsEmpty(); }, 5000);
    EXPECT_EQ(saved.GetFlags(), Bookmark::EVERYTHING);
    EXPECT_FALSE(Model().GetExpressionSelector().IsEmpty());
    ASSERT_NE(snapBack, doc->snapBackBookmark());
    EXPECT_EQ(Bookmark::EVERYTHING, doc->snapBackBookmark()->GetFlags());
    doc->goToSnapbackBookmark();
    RunEventsUntil([&] { return Model().GetExpressionSelector().IsEmpty(); }, 5000);
    EXPECT_TRUE(Model().GetExpressionSelector().IsEmpty());
}

// The panel's menu items and the outlines' check boxes reach the shared tree and the model.
TEST_F(CommandTest, PanelItemsAndCheckBoxesReachTheTreeAndTheModel)
{
    const std::function<int(const BookmarkNode*)> count = [&](const BookmarkNode* node) {
        int n = 1;
        for (int i = 0; i < node->numberOfChildren(); ++i)
            n += count(node->childAtIndex(i));
        return n;
    };
    const BookmarkNode* root = BookmarksController::rootNode();
    // The mode is switched while another window is active: the commands follow the mode, not the focus.
    QWidget other;
    other.show();
    other.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&other));
    doc->setOntologyDisplayMode(2);
    const int before = count(root);
    Window().FindAction("addBookmarkGroup:")->trigger();
    EXPECT_EQ(before + 1, count(root));

    Window().FindAction("addBookmark:")->trigger();
    auto* editor = Window().findChild<BookmarkEditor*>();
    ASSERT_NE(nullptr, editor);
    ASSERT_TRUE(RunEventsUntil([&] { return editor->isVisible(); }, 5000));
    editor->synchronize(Bookmark::EVERYTHING);
    editor->findChild<QLineEdit*>()->setText("Mine");
    editor->save();
    EXPECT_EQ(before + 2, count(root));
    EXPECT_TRUE(alerts.alerts.empty());

    const AnnotationLabel* dg = Label("DG");
    const bool shown = Shown(Model().GetExpressionSelector(), dg);
    emit doc->ontologyHierDataSource()->checkBoxClicked(dg, OntologyDataSource::kExpressionColumn);
    EXPECT_NE(shown, Shown(Model().GetExpressionSelector(), dg));
}

// The commands that a menu holds, visible items only, submenus included.
void MenuCommands(const QMenu* menu, std::set<std::string>& commands)
{
    for (const QAction* item : menu->actions())
        if (item->isVisible())
        {
            if (item->menu())
                MenuCommands(item->menu(), commands);
            commands.insert(CorvaneWindowController::ActionName(item).toStdString());
        }
}

// Each command of the document is reached from its place. The menus and the toolbar are walked as the
// program builds them: every command item sits in the menu bar or a context menu, and every toolbar item and
// every control that sends a command is used as a user uses it (a click, typed text), and the command's effect
// is seen.
TEST_F(CommandTest, EveryCommandHasAPlaceInTheWindow)
{
    std::map<std::string, std::set<std::string>> menus;
    for (const QAction* top : Window().menuBar()->actions())
        if (top->menu())
            MenuCommands(top->menu(), menus["menu bar"]);
    MenuCommands(Window().geneContextMenu, menus["data-set table"]);
    MenuCommands(Window().ontologyContextMenu, menus["ontology outline"]);
    MenuCommands(Window().bookmarksContextMenu, menus["bookmarks outline"]);
    for (const QAction* item : Window().CommandActions())
    {
        const std::string command = CorvaneWindowController::ActionName(item).toStdString();
        EXPECT_TRUE(
            std::any_of(menus.begin(), menus.end(), [&](const auto& menu) { return menu.second.count(command); }))
            << command << " is in no menu";
    }
    // The context menus offer the commands on what they were opened on.
    const std::map<std::string, std::set<std::string>> context = {
        {"data-set table",
         {"findSimilarGenes:", "findSimilarGenes:imageSeries:", "showGeneInfo:", "copyGeneInfo:", "closeGene:"}},
        {"ontology outline",
         {"findGenesByAnatomy:", "findProjectionsFromStructure:", "findProjectionsToStructure:",
          "toggleOntologyStructureSiblings:"}},
        {"bookmarks outline", {"addBookmark:", "addBookmarkGroup:", "sortData:", "delete:"}},
    };
    for (const auto& [menu, commands] : context)
        for (const std::string& command : commands)
            EXPECT_TRUE(menus[menu].count(command)) << command << " in the " << menu << " menu";

    // The controls, each used once: the command's effect shows in the model, the document or the server's log.
    LoadDataSets(1);
    const AnnotationLabel* dg = Label("DG");
    const auto segment = [](SegmentedControl* control, int index) {
        QTest::mouseClick(static_cast<QWidget*>(control->GetSegmentButton(index)), Qt::LeftButton);
    };
    const auto type = [](QLineEdit* field, const char* text) {
        field->setFocus();
        field->clear();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    };
    DocumentToolbar& toolbar = *doc->documentToolbar();
    const auto toolbarButton = [&](const QString& identifier) {
        QTest::mouseClick(Window().toolbar->widgetForAction(toolbar.Item(identifier)), Qt::LeftButton);
    };
    const auto leaf = [&] {
        Window().bookmarksView->expandAll();
        for (QModelIndex row = Window().bookmarksView->indexAt(QPoint(1, 1)); row.isValid();
             row = Window().bookmarksView->indexBelow(row))
            if (!Window().bookmarksView->model()->hasChildren(row))
                return row;
        return QModelIndex();
    };
    const std::string term = "term=" + Model().GetGene(0)->GetSymbol();
    const auto searches = [&] {
        const std::string log = DemoServer::Get().Log();
        std::size_t count = 0;
        for (std::size_t at = log.find(term); at != std::string::npos; at = log.find(term, at + 1))
            ++count;
        return std::to_string(count);
    };
    RecordingListener listener(&Model());
    struct Case
    {
        const char* command;
        QString place; // a toolbar item's identifier, or the control's name
        std::function<void()> use;
        std::function<std::string()> seen; // what the effect depends on
    };
    std::vector<Case> cases;
    // The outlines' check boxes: "Structure" and "Expression", in the hierarchy (mode 1) and the list (mode 0).
    for (const int column : {OntologyDataSource::kStructureColumn, OntologyDataSource::kExpressionColumn})
        for (const int mode : {1, 0})
        {
            QTreeView* outline = mode == 1 ? Window().hierOntologyView : Window().alphaOntologyView;
            OntologyDataSource* source = mode == 1 ? doc->ontologyHierDataSource() : doc->ontologyAlphaDataSource();
            const bool structures = column == OntologyDataSource::kStructureColumn;
            cases.push_back(
                {structures ? "toggleOntologyStructureCheckbox:" : "toggleOntologyExpressionCheckbox:",
                 outline->objectName(),
                 [=] {
                     doc->setOntologyDisplayMode(mode);
                     const QModelIndex name = source->indexOfLabel(dg);
                     ClickCheckBox(outline, name.sibling(name.row(), column));
                 },
                 [=] {
                     return std::to_string(
                         Shown(structures ? Model().GetStructureSelector() : Model().GetExpressionSelector(), dg));
                 }});
        }
    cases.insert(
        cases.end(),
        {
            {"setOntologyDisplayMode:", QString("ontologyViewStyle"), [&] { segment(Window().ontologyViewStyle, 2); },
             [&] { return std::to_string(doc->ontologyDisplayMode()); }},
            {"searchForStructure:", QString("ontologySearchField"), [&] { type(Window().ontologySearchField, "Cere"); },
             [&] { return std::to_string(doc->ontologyAlphaDataSource()->rowCount()); }},
            {"toggleGeneVisible:", QString("geneListView"),
             [&] {
                 ClickCheckBox(Window().geneListView,
                               Window().geneListView->model()->index(0, GeneTableModel::kVisibleColumn));
             },
             [&] { return std::to_string(Model().GetGene(0)->IsVisible()); }},
            {"restoreBookmarkFromView:", QString("bookmarksView"),
             [&] {
                 doc->setOntologyDisplayMode(2);
                 QTest::mouseClick(Window().bookmarksView->viewport(), Qt::LeftButton, Qt::NoModifier,
                                   Window().bookmarksView->visualRect(leaf()).center());
             },
             [&] { return std::to_string(doc->snapBackBookmark() != nullptr); }},
            {"changeToolMode:", DocumentToolbar::kToolModeItem, [&] { segment(Window().selectionTools, 1); },
             [&] { return std::to_string(static_cast<int>(Model().GetToolMode())); }},
            {"changeAtlasPlaneVisibility:", DocumentToolbar::kAtlasSectionsItem,
             [&] { segment(Window().atlasPlaneToggleBar, 0); },
             [&] {
                 const int tag = Window().atlasPlaneToggleBar->GetTag(0);
                 return std::to_string(Model().UIGetMPRPlaneVisible(static_cast<Image3dPlane::Plane>(tag)));
             }},
            {"searchForGene:", DocumentToolbar::kSearchFieldItem,
             [&] { type(Window().searchField, Model().GetGene(0)->GetSymbol().c_str()); }, searches},
            {"toggleCuttingPlanes:", DocumentToolbar::kCuttingPlanesItem,
             [&] { toolbarButton(DocumentToolbar::kCuttingPlanesItem); },
             [&] { return std::to_string(Model().GetCuttingPlanesVisible()); }},
            {"toggleExpandedView:", DocumentToolbar::kExpandViewItem,
             [&] { toolbarButton(DocumentToolbar::kExpandViewItem); },
             [&] { return std::to_string(Window().listContainerView->isVisible()); }},
            {"centerViewOnSelection:", DocumentToolbar::kCenterViewItem,
             [&] {
                 Model().SelectStructure(dg, true);
                 toolbar.validateToolbarItems();
                 listener.events.clear();
                 toolbarButton(DocumentToolbar::kCenterViewItem);
             },
             [&] { return std::to_string(listener.events.size()); }},
        });
    std::set<QString> items;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.command) + " from " + c.place.toStdString());
        items.insert(c.place);
        Tabs().SwitchTab(0);
        const std::string before = c.seen();
        c.use();
        EXPECT_TRUE(RunEventsUntil([&] { return c.seen() != before; }, 10000)) << "still " << before;
    }
    // Every item of the toolbar that runs a command was used above.
    for (const QString& identifier : DocumentToolbar::toolbarAllowedItemIdentifiers())
        if (toolbar.Item(identifier) && !toolbar.Item(identifier)->text().isEmpty())
        {
            EXPECT_TRUE(items.count(identifier)) << identifier.toStdString() << " was not used";
        }
}

// Right-clicks a point of the widget with the real pointer and, once its context menu is up, clicks the item
// of the command (none: closes the menu). Answers the commands of the items that the menu showed.
std::set<std::string> ChooseFromContextMenu(QWidget* widget, const QPoint& at, const std::string& command)
{
    std::set<std::string> shown;
    bool chosen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (chosen || !menu || !menu->isVisible())
            return;
        chosen = true;
        MenuCommands(menu, shown);
        for (QAction* item : menu->actions())
            if (CorvaneWindowController::ActionName(item).toStdString() == command && item->isEnabled())
            {
                const QPoint centre = menu->mapToGlobal(menu->actionGeometry(item).center());
                std::system(
                    ("xdotool mousemove " + std::to_string(centre.x()) + " " + std::to_string(centre.y()) + " click 1")
                        .c_str());
                return;
            }
        menu->close();
    });
    poll.start(50);
    const QPoint point = widget->mapToGlobal(at);
    std::system(
        ("xdotool mousemove " + std::to_string(point.x()) + " " + std::to_string(point.y()) + " click 3").c_str());
    EXPECT_TRUE(RunEventsUntil([&] { return chosen && !QApplication::activePopupWidget(); }, 20000)) << command;
    RunEventsFor(50);
    return shown;
}

// The outlines' context menus act on the row they were opened on, not on the selection.
TEST_F(CommandTest, OutlineContextMenusActOnTheClickedRow)
{
    const AnnotationLabel* dg = Label("DG");
    const AnnotationLabel* iso = Label("Iso");
    const AnnotationLabel* area = iso->children.front();
    // A selected structure stays selected only while it is shown.
    SetShown({iso, dg}, true);
    SetShown({iso->children.begin(), iso->children.end()}, false);
    Model().SelectStructure(dg, true);
    QTreeView* tree = Window().hierOntologyView;
    const QModelIndex row = doc->ontologyHierDataSource()->indexOfLabel(area);
    ASSERT_TRUE(row.isValid());
    for (QModelIndex parent = row.parent(); parent.isValid(); parent = parent.parent())
        tree->expand(parent);
    tree->scrollTo(row);
    RunEventsFor(50);
    const QPoint at = tree->visualRect(row).center();
    const std::set<std::string> structureItems = {
        "findGenesByAnatomy:", "findProjectionsFromStructure:", "findProjectionsToStructure:", ""};
    std::set<std::string> withSiblings = structureItems;
    withSiblings.insert("toggleOntologyStructureSiblings:");

    EXPECT_EQ(withSiblings, ChooseFromContextMenu(tree->viewport(), at, "toggleOntologyStructureSiblings:"));
    for (const AnnotationLabel* sibling : iso->children)
        EXPECT_TRUE(Shown(Model().GetStructureSelector(), sibling)) << sibling->abbreviation;
    EXPECT_FALSE(Shown(Model().GetStructureSelector(), iso));
    EXPECT_EQ(dg, Model().GetSelectedStructure());

    const std::string root =
        std::to_string(Model().GetAtlas()->GetOntology()->GetAnnotationLabelByIndex(1)->databaseId);
    ChooseFromContextMenu(tree->viewport(), at, "findGenesByAnatomy:");
    EXPECT_TRUE(LogHas("/search/0310/differential", "target=" + root + "&contrast=" + std::to_string(area->databaseId)))
        << DemoServer::Get().Log();
    EXPECT_EQ(dg, doc->selectedStructure()) << "the clicked row counts only while its menu is up";

    // The list has no siblings; its rows still offer the structure searches.
    Tabs().SwitchTab(0);
    Window().ontologyViewStyle->SetSelectedSegment(0);
    doc->setOntologyDisplayMode(0);
    RunEventsFor(50);
    QTreeView* list = Window().alphaOntologyView;
    const QModelIndex top = list->indexAt(QPoint(10, 10));
    ASSERT_TRUE(top.isValid());
    EXPECT_EQ(structureItems, ChooseFromContextMenu(list->viewport(), list->visualRect(top).center(), ""));

    // The bookmarks outline sorts the shared tree.
    const std::function<bool(const BookmarkNode*)> sorted = [&](const BookmarkNode* node) {
        for (int i = 0; i < node->numberOfChildren(); ++i)
            if ((i > 0 && node->childAtIndex(i - 1)->name() < node->childAtIndex(i)->name()) ||
                !sorted(node->childAtIndex(i)))
                return false;
        return true;
    };
    Window().ontologyViewStyle->SetSelectedSegment(2);
    doc->setOntologyDisplayMode(2);
    for (const char* name : {"Aaa", "Zzz"})
        doc->bookmarksDataController()->addBookmark(std::make_unique<Bookmark>(name, Bookmark::EVERYTHING, &Model()));
    doc->bookmarksDataController()->selectItems({}, false);
    ASSERT_FALSE(sorted(BookmarksController::rootNode()));
    BookmarksOutlineView* outline = Window().bookmarksView;
    RunEventsFor(50);
    ChooseFromContextMenu(outline->viewport(), QPoint(20, outline->viewport()->height() - 5), "sortData:");
    EXPECT_TRUE(sorted(BookmarksController::rootNode()));
    EXPECT_TRUE(alerts.alerts.empty());
}

// Every focus change validates the menus, also the one a dialog makes while it is being destroyed: the
// validation must reach nothing of that dialog (accepting the file panel crashed). Each dialog and sheet
// is ended as a user ends it, with the window's validation connected.
TEST_F(CommandTest, DialogsAndSheetsEndWithoutReachingIntoThemselves)
{
    Install(350, "micro"); // two atlases: a new document asks which
    TempDir files;
    const QString relations = QString::fromStdString(files.Write("relations.csv", "1,Abc,2,Def,0.5\n"));
    const QString damaged = QString::fromStdString(files.Write("genes.csv", "one column\n"));
    QtAlertPresenter panels;
    // Typed, then Open twice: the field's completion list passes on every Return it was sent, also the second
    // of a held key once the panel has closed. The file is read once.
    const auto pick = [](const QString& file) {
        return [file](QDialog* dialog) {
            auto* panel = qobject_cast<QFileDialog*>(dialog);
            ASSERT_NE(nullptr, panel);
            panel->findChild<QLineEdit*>("fileNameEdit")->setText(file);
            for (int press = 0; press < 2; ++press)
                QMetaObject::invokeMethod(panel, "accept");
        };
    };
    const auto cancel = [](QDialog* dialog) { dialog->reject(); };
    const auto closeBox = [](QDialog* dialog) { dialog->close(); };
    struct Case
    {
        const char* what;
        std::function<void()> open;
        std::function<void(QDialog*)> end;
    };
    const std::vector<Case> cases = {
        {"Import Gene Relations, a file", [&] { Window().FindAction("importGeneRelations:")->trigger(); },
         pick(relations)},
        {"Import Gene List, a damaged file", [&] { doc->importGeneList(); }, pick(damaged)},
        {"Import Gene Relations, cancelled", [&] { Window().FindAction("importGeneRelations:")->trigger(); }, cancel},
        {"Open, a file", [] { SingleDocumentController::Instance()->openDocument(); }, pick(relations)},
        {"Add Bookmark", [&] { doc->addBookmark(); },
         [](QDialog* dialog) {
             dialog->findChild<QLineEdit*>()->setText("kept");
             static_cast<BookmarkEditor*>(dialog)->save();
         }},
        {"Anatomic search", [&] { doc->showAnatomicSearch(); }, cancel},
        {"Similar data sets", [&] { doc->findSimilarGenes("Abc", 77); }, cancel},
        {"Preferences", [] { PreferencesController::Instance()->showPreferences(); }, closeBox},
        {"Atlas chooser", [] { SingleDocumentController::Instance()->newDocument(); }, closeBox},
        {"Alert", [&] { panels.ShowAlert("Something to read."); }, [](QDialog* dialog) { dialog->accept(); }},
    };
    for (const Case& c : cases)
    {
        QApplication::setActiveWindow(doc->windowController());
        // Modal runs block in their opening call: the dialog is ended from the event loop once it shows
        // and has the focus, which its closing then moves.
        QPointer<QDialog> shown;
        bool ended = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(window); dialog && !shown && dialog->isVisible())
                    shown = dialog;
            if (shown && !ended && QApplication::activeWindow() != shown)
                QApplication::setActiveWindow(shown);
            else if (shown && !ended)
            {
                ended = true;
                // A file panel stands on the document: a window manager would otherwise stack it anywhere.
                if (qobject_cast<QFileDialog*>(shown))
                {
                    EXPECT_EQ(&Window(), shown->parentWidget()) << c.what;
                }
                c.end(shown);
            }
        });
        watch.start(20);
        c.open();
        ASSERT_TRUE(RunEventsUntil([&] { return ended && (!shown || !shown->isVisible()); }, 10000)) << c.what;
        watch.stop();
        RunEventsFor(20);
        EXPECT_EQ("on", ItemState("toggleExpandedView:", 0).substr(0, 2)) << c.what;
    }
    EXPECT_EQ(3, Tabs().GetNumTabs()); // the relations picked open a graph, the gene list a list
    ASSERT_EQ(1u, alerts.alerts.size());
    EXPECT_EQ(0u, alerts.alerts[0].find("The gene list file is not in the expected format")) << alerts.alerts[0];

    // The window system can leave the focus in a closed file panel until the panel is destroyed: its
    // field then gives the focus up while the panel deletes its children, and the panel's list of
    // children holds the ones already gone.
    QApplication::setActiveWindow(doc->windowController());
    auto* part = new QWidget(Window().centralWidget());
    auto* field = new QLineEdit(part);
    part->show();
    field->setFocus();
    ASSERT_EQ(field, QApplication::focusWidget());
    delete part;
    EXPECT_EQ("on", ItemState("toggleExpandedView:", 0).substr(0, 2));
}

TEST_F(CommandTest, ImportedRelationsOpenAGraphTabAndFailuresAlert)
{
    TempDir files;
    doc->importGeneRelationsDidEnd(""); // the panel was cancelled
    EXPECT_EQ(1, Tabs().GetNumTabs());
    // A file that gives no relation opens no tab, and later replaces no graph.
    const std::string missing = files.File("missing.csv"), prose = files.Write("prose.csv", "Abc,Def,0.5\n");
    const std::vector<std::pair<std::string, std::string>> refused = {
        {missing, "Gene relation file could not be opened: " + missing},
        {prose, "No gene relation could be read from \"" + prose + "\""}};
    const auto refuse = [&](int tabs) {
        for (const auto& [path, alert] : refused)
        {
            alerts.alerts.clear();
            doc->importGeneRelationsDidEnd(path);
            ASSERT_EQ(1u, alerts.alerts.size()) << path;
            EXPECT_EQ(0u, alerts.alerts[0].find(alert)) << alerts.alerts[0];
            EXPECT_EQ(tabs, Tabs().GetNumTabs()) << path;
        }
    };
    refuse(1);
    doc->importGeneRelationsDidEnd(files.Write("relations.csv", "1,Abc,2,Def,0.5\n2,Def,3,Ghi,0.25\n"));
    EXPECT_EQ(2, Tabs().GetNumTabs());
    EXPECT_FALSE(doc->detailViewIsActive());
    refuse(2);
    auto* graph = dynamic_cast<GeneRelationGraphRenderer*>(doc->currentRenderer());
    ASSERT_NE(nullptr, graph);
    EXPECT_EQ(3, graph->GetGraph().GetNumNodes());
}

} // namespace
