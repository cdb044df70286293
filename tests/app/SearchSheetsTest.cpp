// The anatomic and similar-data-set search sheets on a document window, and the table classes of the
// window: the cell with a progress bar and the table whose context menu follows the clicked row.

#include "ShellTestSupport.h"

#include "app/AnatomicSearchController.h"
#include "app/BrainDocTab.h"
#include "app/ContextMenuTableView.h"
#include "app/CorrelationDomainChooser.h"
#include "app/CorvaneWindowController.h"
#include "app/ProgressAndTextCell.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/BrainOntology.h"
#include "atlas/SearchConfig.h"
#include "expression/BrainExpressionModel.h"
#include "expression/GeneExpression.h"
#include "expression/GeneQuery.h"
#include "expression/PagedGeneList.h"
#include "gl/TabControlRenderer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QHeaderView>
#include <QImage>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardItemModel>

#include <gtest/gtest.h>

namespace
{

// Search domains given by the test: structures with their own acronyms and indents.
class FixedSearchConfig : public SearchConfig
{
public:
    struct Entry
    {
        std::string name, acronym;
        unsigned long databaseId;
        int indent;
    };
    FixedSearchConfig(std::shared_ptr<const BrainOntology> ontology, const std::vector<Entry>& entries)
        : SearchConfig(std::move(ontology), "/nonexistent")
    {
        for (const Entry& e : entries)
        {
            auto label = std::make_unique<AnnotationLabel>(1);
            label->name = e.name;
            label->abbreviation = e.acronym;
            label->databaseId = e.databaseId;
            m_labels.push_back(std::move(label));
            m_indents.push_back(e.indent);
        }
    }
    int GetNumQuellarDomains() const override { return static_cast<int>(m_labels.size()); }
    int GetNumAnatomicSearchDomains() const override { return static_cast<int>(m_labels.size()); }
    const AnnotationLabel* GetQuellarDomain(int i) const override { return m_labels[i].get(); }
    const AnnotationLabel* GetAnatomicSearchDomain(int i) const override { return m_labels[i].get(); }
    int GetQuellarIndent(int i) const override { return m_indents[i]; }
    int GetAnatomicSearchIndent(int i) const override { return m_indents[i]; }

private:
    std::vector<std::unique_ptr<AnnotationLabel>> m_labels;
    std::vector<int> m_indents;
};

class SearchSheetsTest : public DocumentFixture
{
protected:
    std::shared_ptr<SearchConfig> Config()
    {
        return std::make_shared<FixedSearchConfig>(doc->expressionModel()->GetAtlas()->GetOntology(),
                                                   std::vector<FixedSearchConfig::Entry>{
                                                       {"Hippocampal formation", "HiF", 1089, 0},
                                                       {"Field CA1", "CA1", 382, 2},
                                                       {"Dentate gyrus", "DG", 726, 2},
                                                   });
    }
    QWidget* Window() { return doc->windowController(); }
    BrainDocTab* ActiveTab() { return static_cast<BrainDocTab*>(Tabs().GetTabData(Tabs().GetActiveTab())); }
    // The menu bar's item of that title, validated as a menu about to show validates it.
    QAction* MenuItem(const QString& title)
    {
        for (QAction* menu : doc->windowController()->menuBar()->actions())
            for (QAction* item : menu->menu()->actions())
                if (item->text() == title)
                {
                    emit menu->menu()->aboutToShow();
                    return item;
                }
        return nullptr;
    }
};

// A row as indices of its pop-ups: joiner, structure, level, coverage, pattern.
using RowChoice = std::array<int, 5>;

TEST_F(SearchSheetsTest, AnatomicRowsMakeTheQueryAndItsName)
{
    struct Case
    {
        std::vector<RowChoice> rows;
        const char* search; // empty: the error below
        const char* display;
    };
    const char* const filterError =
        "At least one expression level, coverage, or pattern filter must be chosen for each row.";
    const Case cases[] = {
        {{{0, 1, 2, 0, 0}, {1, 2, 0, 1, 2}},
         "structac=CA1[xlevel=2] or structac=DG[xdensity=1;xpattern=2]",
         "CA1 or DG"},
        {{{0, 0, 1, 1, 1}, {0, 1, 0, 2, 0}, {3, 2, 0, 0, 1}},
         "structac=HiF[xlevel=1;xdensity=1;xpattern=1] and structac=CA1[xdensity=2] or structac=DG[xpattern=1]",
         "HiF and CA1 or DG"},
        {{{0, 1, 0, 0, 0}}, "", filterError},
        {{{0, 1, 2, 0, 0}, {0, 2, 0, 0, 0}}, "", filterError},
        {{{0, -1, 2, 0, 0}}, "", "Anatomic region must be specified."},
    };
    for (const Case& c : cases)
    {
        AnatomicSearchController sheet(Config(), Window());
        sheet.window()->open();
        for (std::size_t r = 1; r < c.rows.size(); ++r)
            sheet.addRow();
        for (std::size_t r = 0; r < c.rows.size(); ++r)
            for (std::size_t p = 0; p < 5; ++p)
                if (QComboBox* menu = sheet.row(static_cast<int>(r))[p])
                    menu->setCurrentIndex(std::min(c.rows[r][p], menu->count() - 1));
        alerts.alerts.clear();
        sheet.window()->findChild<QPushButton*>("findButton")->click();
        if (*c.search)
        {
            EXPECT_EQ(c.search, sheet.searchString());
            EXPECT_EQ(c.display, sheet.displayString());
            EXPECT_EQ(1, sheet.window()->result());
            EXPECT_FALSE(sheet.window()->isVisible());
            EXPECT_TRUE(alerts.alerts.empty());
        }
        else
        {
            // The error is told and the sheet stays for the user to mend the row.
            ASSERT_EQ(1u, alerts.alerts.size()) << c.display;
            EXPECT_EQ(c.display, alerts.alerts[0]);
            EXPECT_TRUE(sheet.window()->isVisible());
            EXPECT_TRUE(sheet.searchString().empty());
        }
    }
}

TEST_F(SearchSheetsTest, RowsAreAddedAndDeletedWithTheSheet)
{
    AnatomicSearchController sheet(Config(), Window());
    sheet.window()->open();
    RunEventsFor(20);
    const int step = sheet.rowHeight();
    ASSERT_GT(step, 0);
    const int oneRow = sheet.window()->height();
    // No room beyond what the one row and the buttons ask for.
    EXPECT_EQ(sheet.window()->sizeHint().height(), oneRow);
    const auto shown = [&] {
        return std::vector<bool>{sheet.rowView(0)->isVisibleTo(sheet.window()),
                                 sheet.rowView(1)->isVisibleTo(sheet.window()),
                                 sheet.rowView(2)->isVisibleTo(sheet.window())};
    };
    EXPECT_EQ(std::vector<bool>({true, false, false}), shown());
    sheet.deleteRow(1); // one row: nothing
    EXPECT_EQ(1, sheet.numSearchTerms());
    sheet.addRow();
    sheet.addRow();
    sheet.addRow(); // three rows: nothing
    EXPECT_EQ(3, sheet.numSearchTerms());
    EXPECT_EQ(std::vector<bool>({true, true, true}), shown());
    EXPECT_EQ(oneRow + 2 * step, sheet.window()->height());
    EXPECT_FALSE(sheet.addRowButton()->isEnabled());
    // As narrow as the document window goes, the sheet holds every pop-up and button.
    const int least = Window()->minimumSizeHint().expandedTo(Window()->minimumSize()).width();
    sheet.window()->resize(least, sheet.window()->height());
    EXPECT_EQ(least, sheet.window()->width());
    sheet.window()->layout()->activate();
    for (const QWidget* control : sheet.window()->findChildren<QWidget*>())
        if ((qobject_cast<const QComboBox*>(control) || qobject_cast<const QPushButton*>(control)) &&
            control->isVisibleTo(sheet.window()))
            EXPECT_TRUE(
                sheet.window()->rect().contains(QRect(control->mapTo(sheet.window(), QPoint()), control->size())))
                << control->objectName().toStdString() << " of " << least;
    // The rows' pop-ups stand in columns: where row 1 shows its structure and filters, rows 2 and 3 show
    // theirs, alike while all are at their first items.
    sheet.window()->findChild<QPushButton*>("findButton")->setFocus();
    RunEventsFor(20);
    const QImage shot = sheet.window()->grab().toImage();
    const QRect columns = sheet.row(0)[1]->geometry().united(sheet.row(0)[4]->geometry());
    const auto popups = [&](int row) {
        const QRect logical = columns.translated(sheet.rowView(row)->pos());
        const qreal ratio = shot.devicePixelRatio();
        return shot.copy(QRect((logical.topLeft() * ratio), logical.size() * ratio));
    };
    for (int row : {1, 2})
        EXPECT_TRUE(popups(0) == popups(row)) << "row " << row + 1;
    // Deleting row 2 of 3 moves row 3 up and leaves row 3 reset.
    const RowChoice second = {1, 0, 1, 1, 1};
    const RowChoice third = {1, 2, 2, 0, 1};
    for (int p = 0; p < 5; ++p)
    {
        sheet.row(1)[p]->setCurrentIndex(second[p]);
        sheet.row(2)[p]->setCurrentIndex(third[p]);
    }
    sheet.deleteRow(7); // no such row
    EXPECT_EQ(3, sheet.numSearchTerms());
    sheet.deleteRow(1);
    EXPECT_EQ(2, sheet.numSearchTerms());
    EXPECT_EQ(std::vector<bool>({true, true, false}), shown());
    for (int p = 0; p < 5; ++p)
    {
        EXPECT_EQ(third[p], sheet.row(1)[p]->currentIndex()) << p;
        EXPECT_EQ(0, sheet.row(2)[p]->currentIndex()) << p;
    }
    EXPECT_EQ(oneRow + step, sheet.window()->height());
    EXPECT_TRUE(sheet.addRowButton()->isEnabled());
    sheet.deleteRow(1);
    EXPECT_EQ(std::vector<bool>({true, false, false}), shown());
    EXPECT_EQ(oneRow, sheet.window()->height());
    EXPECT_EQ(0, sheet.row(1)[1]->currentIndex());
}

TEST_F(SearchSheetsTest, DomainsAreIndentedByTheirLevel)
{
    AnatomicSearchController anatomic(Config(), Window());
    CorrelationDomainChooser chooser(Config(), Window());
    ASSERT_EQ(3, chooser.numberOfRowsInTableView());
    EXPECT_EQ("        Field CA1 (CA1)", chooser.objectValueForRow(1).toStdString());
    EXPECT_EQ("Hippocampal formation (HiF)", chooser.objectValueForRow(0).toStdString());
    EXPECT_EQ("      Field CA1", anatomic.row(0)[1]->itemText(1).toStdString());
    // Closed, the pop-up shows the structure's name where it shows an unindented one.
    QComboBox* box = anatomic.row(0)[1];
    box->resize(box->sizeHint());
    const auto textStart = [box](int item) {
        box->setCurrentIndex(item);
        const QImage shot = box->grab().toImage();
        // Past the frame, the first dark column is the text's.
        for (int x = 4 * static_cast<int>(shot.devicePixelRatio()); x < shot.width(); ++x)
            for (int y = shot.height() / 4; y < shot.height() * 3 / 4; ++y)
                if (qGray(shot.pixel(x, y)) < 96)
                    return x;
        return -1;
    };
    EXPECT_NEAR(textStart(0), textStart(1), 2 * box->devicePixelRatio());
    // With its list open the box shows the style's open look, not the closed one.
    anatomic.window()->open();
    const QImage closed = box->grab().toImage();
    box->showPopup();
    ASSERT_TRUE(RunEventsUntil([box] { return box->view()->isVisible(); }, 5000));
    EXPECT_NE(closed, box->grab().toImage());
    box->hidePopup();
    EXPECT_EQ(3, anatomic.row(2)[1]->count());
    EXPECT_TRUE(chooser.objectValueForRow(-1).isNull());
    EXPECT_TRUE(chooser.objectValueForRow(3).isNull());
    EXPECT_EQ(chooser.domainList()->item(1)->text(), chooser.objectValueForRow(1));
}

TEST_F(SearchSheetsTest, ChooserSelectsTheDomainItIsGiven)
{
    CorrelationDomainChooser chooser(Config(), Window());
    struct Case
    {
        int domainId, plane;
        bool graph;
        int row; // selected
    };
    for (const Case& c : {Case{726, 1, true, 2}, Case{382, 0, false, 1}, Case{9999, 2, false, 0}, Case{2, 1, true, 0}})
    {
        chooser.setData("Abc", 77, c.domainId, c.plane, c.graph);
        ASSERT_EQ(1, chooser.domainList()->selectedItems().size()) << c.domainId;
        EXPECT_EQ(c.row, chooser.domainList()->row(chooser.domainList()->selectedItems()[0])) << c.domainId;
        EXPECT_EQ(c.plane, chooser.planeRestriction());
        EXPECT_EQ(c.graph, chooser.graphAnalysis());
        EXPECT_EQ("Abc", std::string(chooser.displayString()));
        EXPECT_EQ(77, chooser.imageSeriesId());
    }
    EXPECT_EQ(1089, chooser.domain());
    // Without a selected domain the sheet does not end.
    chooser.window()->open();
    chooser.domainList()->clearSelection();
    EXPECT_EQ(0, chooser.domain());
    chooser.window()->findChild<QPushButton*>("findButton")->click();
    auto* box = chooser.window()->findChild<QMessageBox*>("selectDomainAlert");
    ASSERT_NE(nullptr, box);
    EXPECT_EQ("Select Domain", box->windowTitle().toStdString());
    EXPECT_EQ("Please select a search domain.", box->text().toStdString());
    EXPECT_TRUE(chooser.window()->isVisible());
    box->close();
    chooser.domainList()->setCurrentRow(2);
    chooser.window()->findChild<QPushButton*>("findButton")->click();
    EXPECT_FALSE(chooser.window()->isVisible());
    EXPECT_EQ(1, chooser.window()->result());
}

TEST_F(SearchSheetsTest, SheetsStartTheirSearchesOnTheDocument)
{
    // The anatomic sheet's query is searched under its name.
    QAction* anatomicItem = MenuItem("Anatomic Search...");
    ASSERT_NE(nullptr, anatomicItem);
    ASSERT_TRUE(anatomicItem->isEnabled());
    anatomicItem->trigger();
    AnatomicSearchController* anatomic = doc->anatomicSearchPanel();
    ASSERT_NE(nullptr, anatomic);
    ASSERT_TRUE(anatomic->window()->isVisible());
    EXPECT_EQ(Qt::WindowModal, anatomic->window()->windowModality());
    ASSERT_GT(anatomic->row(0)[1]->count(), 0);
    anatomic->row(0)[2]->setCurrentIndex(2);
    anatomic->window()->findChild<QPushButton*>("findButton")->click();
    EXPECT_FALSE(anatomic->window()->isVisible());
    ASSERT_EQ(2, Tabs().GetNumTabs());
    ASSERT_NE(nullptr, ActiveTab()->list);
    EXPECT_EQ(anatomic->displayString(), ActiveTab()->list->GetName());
    EXPECT_EQ(0u, anatomic->searchString().find("structac=")) << anatomic->searchString();
    // The demo server answers it with the data sets of that structure at that level.
    PagedGeneList* found = ActiveTab()->list.get();
    EXPECT_TRUE(QTest::qWaitFor([found] { return found->GetNumGenes() > 0; }, 20000)) << found->GetStatus();
    // Cancelling starts nothing.
    doc->showAnatomicSearch();
    EXPECT_EQ(anatomic, doc->anatomicSearchPanel());
    anatomic->cancel();
    EXPECT_EQ(2, Tabs().GetNumTabs());

    // The similar sheet hands on the graph choice; the next sheet starts with the domain chosen and no graph.
    const std::shared_ptr<SearchConfig> config = doc->expressionModel()->GetAtlas()->GetSearchConfig();
    ASSERT_GT(config->GetNumQuellarDomains(), 1);
    doc->findSimilarGenes("Seed", 4321);
    CorrelationDomainChooser* chooser = doc->correlationChooser();
    ASSERT_NE(nullptr, chooser);
    ASSERT_TRUE(chooser->window()->isVisible());
    EXPECT_EQ(0, chooser->domainList()->currentRow());
    EXPECT_EQ(2, chooser->planeRestriction());
    EXPECT_FALSE(chooser->graphAnalysis());
    chooser->domainList()->setCurrentRow(1);
    chooser->planeOfSection()->button(0)->click();
    chooser->graphAnalysisBox()->setChecked(true);
    chooser->window()->findChild<QPushButton*>("findButton")->click();
    EXPECT_FALSE(chooser->window()->isVisible());
    EXPECT_EQ(3, Tabs().GetNumTabs());
    EXPECT_EQ(kTabDirectedGraph, ActiveTab()->type);
    doc->findSimilarGenes("Seed", 4321);
    EXPECT_EQ(chooser, doc->correlationChooser());
    EXPECT_EQ(1, chooser->domainList()->currentRow());
    EXPECT_EQ(static_cast<int>(config->GetQuellarDomain(1)->databaseId), chooser->domain());
    EXPECT_EQ(0, chooser->planeRestriction());
    EXPECT_FALSE(chooser->graphAnalysis());
    chooser->window()->findChild<QPushButton*>("findButton")->click();
    // Without a graph the list tab of the anatomic search is used again.
    EXPECT_EQ(3, Tabs().GetNumTabs());
    EXPECT_EQ(1, Tabs().GetActiveTab());
    EXPECT_EQ(kTabList, ActiveTab()->type);
    EXPECT_EQ("Seed", ActiveTab()->list->GetName());
    EXPECT_TRUE(alerts.alerts.empty());
}

TEST_F(SearchSheetsTest, DataSetTableMenuOpensTheSimilarSheet)
{
    const std::vector<std::string> ids = ServedDataSetIds(1);
    ASSERT_EQ(1u, ids.size());
    Wrapper().FetchExpressionData(Url("/demo/data/" + ids[0]).c_str(), nullptr);
    ASSERT_TRUE(RunEventsUntil([&] { return doc->expressionModel()->GetNumGenes() == 1; }, 30000));
    const std::shared_ptr<GeneExpression> gene = doc->expressionModel()->GetGene(0);
    ASSERT_TRUE(GeneQuery::CanQuellar(gene.get()));
    // The Gene menu offers the sheet for a selected data set only.
    doc->windowController()->geneListView->clearSelection();
    QAction* similarItem = MenuItem("Similar Data Set Search...");
    ASSERT_NE(nullptr, similarItem);
    EXPECT_FALSE(similarItem->isEnabled());
    doc->selectGene(0);
    EXPECT_TRUE(MenuItem("Similar Data Set Search...")->isEnabled());
    auto* table = qobject_cast<ContextMenuTableView*>(doc->windowController()->geneListView);
    ASSERT_NE(nullptr, table);
    QMenu* menu = table->menu();
    ASSERT_NE(nullptr, menu);
    const int y = table->rowViewportPosition(0) + 2;
    QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, y), table->viewport()->mapToGlobal(QPoint(10, y)));
    QApplication::sendEvent(table->viewport(), &click);
    ASSERT_TRUE(RunEventsUntil([&] { return menu->isVisible(); }, 5000));
    ASSERT_TRUE(menu->actions()[0]->isEnabled());
    menu->actions()[0]->trigger();
    menu->close();
    CorrelationDomainChooser* chooser = doc->correlationChooser();
    ASSERT_NE(nullptr, chooser);
    EXPECT_TRUE(chooser->window()->isVisible());
    EXPECT_EQ(gene->GetSymbol(), chooser->displayString());
    EXPECT_EQ(gene->GetImageSeriesId(), chooser->imageSeriesId());
    chooser->cancel();
    EXPECT_EQ(1, Tabs().GetNumTabs());
}

// A shown table of three rows, the first column 100 pixels wide, with a menu.
class TableCellsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY"))
            GTEST_SKIP() << "tables need an X display";
        for (const char* text : {"first", "second", "third"})
            model.appendRow({new QStandardItem(text), new QStandardItem("x")});
        table.setModel(&model);
        table.setSelectionBehavior(QAbstractItemView::SelectRows);
        table.setColumnWidth(0, 100);
        table.verticalHeader()->hide();
        table.horizontalHeader()->hide();
        table.setShowGrid(false);
        table.setMenu(&menu);
        menu.addAction("Find Similar");
        table.resize(300, 200);
        table.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&table));
    }
    void TearDown() override { menu.close(); }

    std::vector<int> SelectedRows() const
    {
        std::vector<int> rows;
        for (const QModelIndex& index : table.selectionModel()->selectedRows())
            rows.push_back(index.row());
        return rows;
    }
    void RightClick(QPoint at)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, table.viewport()->mapToGlobal(at));
        QApplication::sendEvent(table.viewport(), &event);
    }

    QStandardItemModel model;
    ContextMenuTableView table;
    QMenu menu;
};

TEST_F(TableCellsTest, ProgressBarGrowsFromTheMiddle)
{
    struct Case
    {
        float progress;
        QRectF bar;
    };
    for (const Case& c : {Case{0.5f, QRectF(50, 10, 25, 18)}, Case{0.25f, QRectF(50, 10, 12.5, 18)},
                          Case{0.0f, QRectF()}, Case{1.0f, QRectF()}, Case{-0.5f, QRectF()}})
        EXPECT_EQ(c.bar, ProgressAndTextCell::BarRect(QRectF(0, 10, 100, 20), c.progress)) << c.progress;

    // As drawn in the table: the right half's first quarter of the cell is the tint, nothing else is.
    auto* cell = new ProgressAndTextCell(&table);
    cell->setProgress(0.5f);
    EXPECT_EQ(0.5f, std::unique_ptr<ProgressAndTextCell>(cell->copyWithZone(nullptr))->progress());
    table.setItemDelegateForColumn(0, cell);
    model.item(0, 0)->setText("");
    table.viewport()->update();
    RunEventsFor(20);
    const QImage image = table.viewport()->grab().toImage();
    const QColor tint = table.palette().color(QPalette::Active, QPalette::Highlight);
    const int y = table.rowViewportPosition(0) + 3;
    for (int x = 0; x < 100; ++x)
        EXPECT_EQ(x >= 50 && x < 75, QColor(image.pixel(x, y)) == tint) << x;
}

TEST_F(TableCellsTest, RightClickSelectsTheRowUnderIt)
{
    table.selectRow(0);
    RightClick(QPoint(20, table.rowViewportPosition(1) + 2));
    EXPECT_EQ(std::vector<int>({1}), SelectedRows());
    EXPECT_TRUE(RunEventsUntil([&] { return menu.isVisible(); }, 5000));
    menu.close();
    // Below the last row: no selection and no menu.
    RunEventsFor(20);
    RightClick(QPoint(20, table.rowViewportPosition(2) + table.rowHeight(2) + 10));
    EXPECT_TRUE(SelectedRows().empty());
    RunEventsFor(20);
    EXPECT_FALSE(menu.isVisible());
    EXPECT_EQ(&menu, table.menuForEvent(QPoint(20, 2)));
    EXPECT_EQ(std::vector<int>({0}), SelectedRows());
}

} // namespace
