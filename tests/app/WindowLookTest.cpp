// A document window as a new user meets it: opened at the size the program gives it, then looked at as the
// screen shows it. Frames come from the GL view, the tooltip from its own window on the X server, and the
// pointer is the X server's own, moved by xdotool.

#include "ProgramDriving.h"
#include "ShellTestSupport.h"

#include "app/CorvaneWindowController.h"
#include "app/DocumentToolbar.h"
#include "app/GeneTableModel.h"
#include "app/NameColumnFit.h"
#include "app/OntologyDataSource.h"
#include "app/SegmentedControl.h"
#include "app/TabType.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/BrainOntology.h"
#include "expression/BrainExpressionModel.h"
#include "gl/GLView.h"
#include "gl/TabControlRenderer.h"
#include "views/BrainThumbnailRenderer.h"
#include "views/ExpressionThumbnail.h"
#include "views/ExpressionThumbnailRenderer.h"
#include "views/GeneRelationGraphRenderer.h"
#include "app/BrainDocTab.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <vector>

namespace
{

constexpr int kTimeoutMs = 20000;

std::string Shell(const std::string& command)
{
    int status = 0;
    const std::string output = CommandOutput(command, &status);
    EXPECT_EQ(0, status) << command << "\n" << output;
    return output;
}

// What the pixels that a structure's mesh covers look like: the mesh covers every pixel that differs from
// the frame without it.
struct MeshPixels
{
    int count = 0;
    double hue = 0.0;        // degrees, the mean over the coloured pixels
    double saturation = 0.0; // mean
    double dark = 0.0;       // value (0 to 1) below which a tenth of the pixels lie
    double bright = 0.0;     // value above which a tenth lie
};

MeshPixels Mesh(const QImage& without, const QImage& with)
{
    MeshPixels mesh;
    std::vector<double> values;
    double x = 0.0, y = 0.0;
    for (int row = 0; row < with.height(); ++row)
        for (int column = 0; column < with.width(); ++column)
        {
            const QColor a = without.pixelColor(column, row), b = with.pixelColor(column, row);
            if (std::max(
                    {std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())}) <= 4)
                continue;
            values.push_back(b.valueF());
            mesh.saturation += b.hsvSaturationF();
            if (b.hsvHueF() >= 0.0)
            {
                x += b.hsvSaturationF() * std::cos(b.hsvHueF() * 2.0 * M_PI);
                y += b.hsvSaturationF() * std::sin(b.hsvHueF() * 2.0 * M_PI);
            }
        }
    mesh.count = static_cast<int>(values.size());
    if (values.empty())
        return mesh;
    mesh.saturation /= mesh.count;
    mesh.hue = std::fmod(std::atan2(y, x) * 180.0 / M_PI + 360.0, 360.0);
    std::sort(values.begin(), values.end());
    mesh.dark = values[values.size() / 10];
    mesh.bright = values[values.size() * 9 / 10];
    return mesh;
}

class WindowLookTest : public DocumentFixture
{
protected:
    // The window at the size the program gives a new one: not the fixture's.
    void SetUp() override
    {
        REQUIRE_GENERATOR();
        if (!std::getenv("DISPLAY") || CommandOutput("command -v xdotool import").empty())
            GTEST_SKIP() << "needs an X display, xdotool and ImageMagick";
        Install(310, "tiny");
        doc = CorvaneDoc::initWithAtlas(310);
        ASSERT_NE(nullptr, doc);
        opened.push_back(doc);
        doc->makeWindowControllers();
        doc->showWindows();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window()));
        RunEventsFor(50);
    }

    CorvaneWindowController* Window() const { return doc->windowController(); }
    BrainExpressionModel& Model() const { return *doc->expressionModel(); }
    const BrainOntology& Ontology() const { return *Model().GetAtlas()->GetOntology(); }

    // The frame that the scene view draws now, kept as a PNG file under the name.
    QImage Frame(const std::string& name)
    {
        RunEventsFor(30);
        const QImage frame = Window()->sceneView->GetImageData();
        EXPECT_FALSE(frame.isNull());
        frame.save(QString::fromStdString(dir.File(name)), "PNG");
        return frame;
    }

    // ImageMagick's count of the pixels that differ by more than a rounding between two kept frames of the
    // size of frame, below the tab bar (whose tabs may differ).
    double Differing(const std::string& a, const std::string& b, const QImage& frame)
    {
        const int bar = Tabs().IsVisible() ? Tabs().GetHeight() : 0;
        const std::string region = "[" + std::to_string(frame.width()) + "x" + std::to_string(frame.height() - bar) +
                                   "+0+" + std::to_string(bar) + "]' ";
        const std::string count = CommandOutput("compare -metric AE -fuzz 2% '" + dir.File(a) + region + "'" +
                                                dir.File(b) + region + "null: 2>&1");
        return std::isdigit(static_cast<unsigned char>(count.c_str()[0])) ? std::stod(count) : 1e9;
    }

    // Clicks the structure's box in the outline's "Structure" column.
    void ClickStructureBox(const AnnotationLabel* label)
    {
        const QModelIndex name = doc->ontologyHierDataSource()->indexOfLabel(label);
        ASSERT_TRUE(name.isValid()) << label->name;
        ClickCheckBox(Window()->hierOntologyView, name.sibling(name.row(), OntologyDataSource::kStructureColumn));
        RunEventsFor(30);
    }

    TempDir dir;
};

TEST_F(WindowLookTest, AStructureTickedInTheOutlineIsLitInTheFirstFrameAsAfterATabSwitch)
{
    Model().SetStructureSelector(BrainExpressionModel::Selector(Ontology().GetNumLabels(), false), true);
    const AnnotationLabel* cortex = Ontology().GetAnnotationLabel(std::string("Cx"));
    ASSERT_TRUE(cortex && cortex->hasMesh);
    const QImage without = Frame("without.png");
    ClickStructureBox(cortex);
    ASSERT_TRUE(Model().GetStructureSelector().Intersects(cortex->selector));

    // Lit: the structure's hue, and the light falling off across the mesh. Unlit, the mesh is a flat
    // near-black shape.
    const MeshPixels first = Mesh(without, Frame("first.png"));
    const double hue = QColor::fromRgb(cortex->color[0], cortex->color[1], cortex->color[2]).hsvHueF() * 360.0;
    ASSERT_GT(first.count, without.width() * without.height() / 20);
    EXPECT_LT(std::min(std::fabs(hue - first.hue), 360.0 - std::fabs(hue - first.hue)), 15.0) << first.hue;
    EXPECT_GT(first.saturation, 0.25);
    EXPECT_GT(first.bright, 0.6);
    EXPECT_GT(first.bright - first.dark, 0.15) << first.dark << " to " << first.bright;

    // A click in the box's cell beside the box leaves the current cell, which the focus frames, at the name:
    // no empty frame stands beside the box.
    QTreeView* outline = Window()->hierOntologyView;
    const QModelIndex name = doc->ontologyHierDataSource()->indexOfLabel(cortex);
    const QRect cell = outline->visualRect(name.siblingAtColumn(OntologyDataSource::kStructureColumn));
    QTest::mouseClick(outline->viewport(), Qt::LeftButton, {}, QPoint(cell.right() - 2, cell.center().y()));
    EXPECT_EQ(name, outline->currentIndex());

    // Meshes in front of others too: a scene drawn with the blending that a result view leaves on shows them
    // through each other.
    Model().SetStructureSelector(Ontology().SelectorForLevel(100), true);
    const QImage several = Frame("several.png");

    // A tab switch initialises the scene again, and draws what the first frame showed.
    Wrapper().CreateNewTab(true, kTabList);
    ASSERT_FALSE(doc->detailViewIsActive());
    RunEventsFor(30);
    Tabs().CloseTab(1);
    RunEventsFor(30);
    ASSERT_TRUE(doc->detailViewIsActive());
    EXPECT_LT(Differing("several.png", "after switch.png", Frame("after switch.png")),
              without.width() * without.height() / 1000);
}

TEST_F(WindowLookTest, ResultViewsDrawTheirFirstFramesAsAfterATabSwitch)
{
    // A graph of served data sets, drawn before any other result view has drawn in this window.
    const std::vector<std::string> ids = ServedDataSetIds(4);
    ASSERT_EQ(4u, ids.size());
    const std::string table = dir.File("relations.csv");
    std::ofstream(table) << ids[0] << ",Aaa," << ids[1] << ",Bbb,0.9\n"
                         << ids[0] << ",Aaa," << ids[2] << ",Ccc,0.7\n"
                         << ids[2] << ",Ccc," << ids[3] << ",Ddd,0.5\n";
    Wrapper().LoadDirectedGraphFile(table.c_str());
    auto* graph = dynamic_cast<GeneRelationGraphRenderer*>(doc->currentRenderer());
    ASSERT_NE(nullptr, graph);
    const auto settled = [&] {
        if (!graph->IsReady())
            return false;
        for (const auto& node : graph->GetNodes())
            if (node->thumbnail && !node->thumbnail->IsLoaded() && node->thumbnail->GetStatus().empty())
                return false;
        return true;
    };
    ASSERT_TRUE(RunEventsUntil(settled, kTimeoutMs));
    // The user stops the spin, so that frames can be compared.
    QTest::keyClick(Window()->sceneView, Qt::Key_Space);
    Frame("graph first.png");

    Wrapper().SearchForGene("a", "", "a", false);
    auto* browser = dynamic_cast<BrainThumbnailRenderer*>(doc->currentRenderer());
    ASSERT_NE(nullptr, browser);
    const auto shown = [&] {
        if (browser->GetNumFilledCells() == 0)
            return false;
        for (int i = 0; i < browser->GetNumFilledCells(); ++i)
            if (!browser->GetCell(i).IsLoaded() && browser->GetCell(i).IsTransferRunning())
                return false;
        return true;
    };
    ASSERT_TRUE(RunEventsUntil(shown, kTimeoutMs));
    QTest::keyClick(Window()->sceneView, Qt::Key_Space);
    ASSERT_TRUE(browser->IsUserStopped());
    Frame("thumbnails first.png");

    const int graphTab = Tabs().GetActiveTab() == 1 ? 2 : 1;
    const int browserTab = 3 - graphTab;
    struct Case
    {
        int tab;
        const char* first;
        const char* after;
    };
    for (const Case& c : {Case{0, nullptr, nullptr}, Case{graphTab, "graph first.png", "graph after.png"},
                          Case{browserTab, "thumbnails first.png", "thumbnails after.png"}})
    {
        Tabs().SwitchTab(c.tab);
        if (!c.first)
            continue;
        const QImage after = Frame(c.after);
        EXPECT_LT(Differing(c.first, c.after, after), after.width() * after.height() / 1000) << c.first;
    }
}

// Whether the view draws the item's text cut short, measured as the style lays the text out.
bool Elided(const QTreeView& outline, const QModelIndex& index)
{
    const int margin = outline.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &outline) + 1;
    const int room = outline.visualRect(index).width() - 2 * margin;
    return outline.fontMetrics().horizontalAdvance(index.data().toString()) > room;
}

TEST_F(WindowLookTest, OutlinesShowWholeNamesAtTheDefaultWindowSize)
{
    ASSERT_EQ(QSize(1120, 700), Window()->size());
    struct Case
    {
        int mode;
        QTreeView* outline;
    };
    for (const Case& c : {Case{1, Window()->hierOntologyView}, Case{0, Window()->alphaOntologyView}})
    {
        doc->setOntologyDisplayMode(c.mode);
        RunEventsFor(30);
        ASSERT_TRUE(c.outline->isVisible());
        QHeaderView& header = *c.outline->header();
        // The swatch and the boxes take what their cells and their whole titles need; the names take the rest.
        const auto* cells = static_cast<const QAbstractItemView*>(c.outline);
        const int margins = 2 * header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
        int others = 0;
        for (int column : {OntologyDataSource::kColorColumn, OntologyDataSource::kStructureColumn,
                           OntologyDataSource::kExpressionColumn})
        {
            const QString title = header.model()->headerData(column, Qt::Horizontal).toString();
            EXPECT_GE(header.sectionSize(column), cells->sizeHintForColumn(column)) << c.mode << " " << column;
            EXPECT_GE(header.sectionSize(column), header.fontMetrics().horizontalAdvance(title) + margins)
                << c.mode << " " << title.toStdString();
            others += header.sectionSize(column);
        }
        EXPECT_EQ(c.outline->viewport()->width() - others, header.sectionSize(OntologyDataSource::kNameColumn));
        // Every name that the outline shows when it opens is whole.
        int rows = 0;
        for (QModelIndex index = c.outline->indexAt(QPoint(1, 1)); index.isValid();
             index = c.outline->indexBelow(index), ++rows)
            EXPECT_FALSE(Elided(*c.outline, index)) << c.mode << " " << index.data().toString().toStdString() << " in "
                                                    << c.outline->visualRect(index).width();
        EXPECT_GT(rows, 10) << c.mode;
    }
}

TEST_F(WindowLookTest, ToolbarItemsShowTheirTooltipsUnderThePointerInAWindowThatIsNotActive)
{
    // Another window has the focus, as after a launch that handed its URL on, or another program's window.
    QWidget other;
    other.setWindowTitle("Elsewhere");
    other.setGeometry(1120, 900, 120, 60);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    const std::string window = std::to_string(Window()->winId());
    Shell("xdotool mousemove --sync 1180 930 windowfocus --sync " + std::to_string(other.winId()) + " windowraise " +
          window);
    ASSERT_TRUE(RunEventsUntil([&] { return !Window()->isActiveWindow(); }, 3000));

    const DocumentToolbar& toolbar = *doc->documentToolbar();
    const auto item = [&](const QString& identifier) {
        return Window()->toolbar->widgetForAction(toolbar.Item(identifier));
    };
    struct Case
    {
        QWidget* widget;
        const char* tip;
    };
    const std::vector<Case> cases = {
        {Window()->selectionTools->GetSegmentButton(0), "Rotation Tool"},
        {Window()->selectionTools->GetSegmentButton(1), "Panning Tool"},
        {Window()->selectionTools->GetSegmentButton(2), "Selection Tool"},
        {Window()->atlasPlaneToggleBar->GetSegmentButton(0), "Sagittal Nissl"},
        {Window()->atlasPlaneToggleBar->GetSegmentButton(1), "Coronal Nissl"},
        {Window()->atlasPlaneToggleBar->GetSegmentButton(2), "Horizontal Nissl"},
        {item(DocumentToolbar::kCenterViewItem), "Center View"},
        {item(DocumentToolbar::kCuttingPlanesItem), "Move Cutting Planes"},
        {item(DocumentToolbar::kExpandViewItem), "Expand View"},
    };
    for (const Case& c : cases)
    {
        ASSERT_NE(nullptr, c.widget) << c.tip;
        const QPoint at = c.widget->mapToGlobal(c.widget->rect().center());
        Shell("xdotool mousemove --sync " + std::to_string(at.x()) + " " + std::to_string(at.y()));
        const bool tipShown = RunEventsUntil([&] { return QToolTip::isVisible() && QToolTip::text() == c.tip; }, 5000);
        EXPECT_TRUE(tipShown) << c.tip;
        if (!tipShown)
            continue;
        // On the screen: the tip's pale background with its dark text.
        QWidget* tip = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && widget->inherits("QLabel") && widget->windowType() == Qt::ToolTip)
                tip = widget;
        ASSERT_NE(nullptr, tip) << c.tip;
        const std::string shot = dir.File(std::string(c.tip) + ".png");
        const auto share = [&](const std::string& operations) {
            return std::stod(Shell("convert '" + shot + "' " + operations + " -format '%[fx:mean]' info:"));
        };
        const std::string base = tip->palette().color(QPalette::ToolTipBase).name().toStdString();
        double background = 0.0, text = 0.0;
        // Drawn once the tip has painted after it showed.
        RunEventsUntil(
            [&] {
                if (!CaptureWindow(std::to_string(tip->windowHandle()->winId()), shot, 0))
                    return false;
                background = share("-fill black +opaque '" + base + "' -fill white -opaque '" + base + "'");
                text = share("-colorspace gray -threshold 40% -negate");
                return background > 0.5 && text > 0.02;
            },
            10000);
        EXPECT_GT(background, 0.5) << c.tip;
        EXPECT_GT(text, 0.02) << c.tip;
    }
    Shell("xdotool mousemove --sync 2 1020");
}

// A window sized below its minimum, as a window system without a window manager allows, asks for its minimum
// again: the scene keeps its room, and what the screen shows of the scene is the scene's own frame, with no
// control drawn over it.
TEST_F(WindowLookTest, AWindowSizedBelowItsMinimumKeepsItsControlsOffTheScene)
{
    const std::string window = std::to_string(Window()->winId());
    doc->showViewSettings();
    ASSERT_TRUE(Window()->viewSettingsContainer->isVisible());
    for (const QSize asked : {QSize(400, 300), QSize(1000, 200), QSize(300, 700)})
    {
        SCOPED_TRACE(std::to_string(asked.width()) + "x" + std::to_string(asked.height()));
        Shell("xdotool windowsize --sync " + window + " " + std::to_string(asked.width()) + " " +
              std::to_string(asked.height()));
        // Settled when the window system's size is the window's own, and no longer the one asked for.
        const auto settled = [&] {
            const std::string geometry = Shell("xdotool getwindowgeometry " + window);
            const std::string own = std::to_string(Window()->width()) + "x" + std::to_string(Window()->height());
            return Window()->size() != asked && geometry.find("Geometry: " + own) != std::string::npos;
        };
        ASSERT_TRUE(RunEventsUntil(settled, 5000));
        QWidget* view = Window()->sceneView;
        EXPECT_GE(view->width(), view->minimumWidth());
        const QRect scene(view->mapTo(Window(), QPoint(0, 0)), view->size());
        const QRect zoom(Window()->zoomSlider->mapTo(Window(), QPoint(0, 0)), Window()->zoomSlider->size());
        EXPECT_FALSE(scene.intersects(zoom));
        // The image controls keep a slider that can be moved, beside the zoom's.
        const QRect blend(Window()->imageBlendSlider->mapTo(Window(), QPoint(0, 0)),
                          Window()->imageBlendSlider->size());
        EXPECT_GE(blend.width(), 80);
        EXPECT_FALSE(blend.intersects(zoom));
        EXPECT_TRUE(Window()->rect().contains(blend));
        // The names keep ten characters first; the box and swatch columns take what is left, down to what
        // their cells draw, and what does not fit scrolls sideways. The names take what the others leave.
        for (QAbstractItemView* table : {static_cast<QAbstractItemView*>(Window()->geneListView),
                                         static_cast<QAbstractItemView*>(Window()->hierOntologyView)})
        {
            const QHeaderView& header = *(table == Window()->geneListView ? Window()->geneListView->horizontalHeader()
                                                                          : Window()->hierOntologyView->header());
            const int names = header.sectionSize(0), width = table->viewport()->width();
            // Each shown row's room right of its branches.
            int room = names;
            const auto* tree = qobject_cast<QTreeView*>(table);
            for (QModelIndex row = table->model()->index(0, 0); tree && row.isValid(); row = tree->indexBelow(row))
                room = std::min(room, tree->visualRect(row).width());
            EXPECT_GE(room, 10 * table->fontMetrics().averageCharWidth()) << table->objectName().toStdString();
            const int margins = 2 * header.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &header);
            int others = 0;
            bool shortened = false;
            for (int column = 1; column < header.count(); ++column)
            {
                EXPECT_GE(header.sectionSize(column), table->sizeHintForColumn(column)) << column;
                EXPECT_LE(header.sectionSize(column), header.sectionSizeHint(column)) << column;
                // A header that bolds the selection's titles needs their bold width.
                const QString title = header.model()->headerData(column, Qt::Horizontal).toString();
                const int whole = header.highlightSections() ? header.sectionSizeHint(column)
                                                             : header.fontMetrics().horizontalAdvance(title) + margins;
                shortened = shortened || header.sectionSize(column) < whole;
                others += header.sectionSize(column);
            }
            const int least = NameColumnFit::LeastNameWidth(*table);
            EXPECT_EQ(std::max(width - others, least), names);
            EXPECT_TRUE(!shortened || names == least) << "titles shortened while the names had room";
            EXPECT_EQ(names + others > width, table->horizontalScrollBar()->isVisible());
        }
        // The bottom strip of the scene as the screen shows it, and as the view drew it.
        const std::string shot = dir.File("screen.png");
        Shell("import -window " + window + " '" + shot + "'");
        const QImage screen = QImage(QString::fromStdString(shot)).convertToFormat(QImage::Format_RGB32);
        const QImage frame = Frame("frame.png").convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(view->size(), frame.size());
        const QRect strip(0, frame.height() - 30, frame.width(), 30);
        const QImage shown = screen.copy(strip.translated(scene.topLeft())), drawn = frame.copy(strip);
        int covered = 0;
        for (int y = 0; y < strip.height(); ++y)
            for (int x = 0; x < strip.width(); ++x)
                covered += std::abs(qGray(shown.pixel(x, y)) - qGray(drawn.pixel(x, y))) > 24;
        EXPECT_LT(covered, strip.width()) << "pixels of the scene covered";
    }
    Window()->resize(1120, 700);
}

} // namespace
