// The shared bookmarks tree in document windows over the demo atlases: edits through a window's data
// source, drags between and within outlines, sorting, the editor sheet, and the bookmarks file that the
// first window reads and a closing window saves.

#include "ShellTestSupport.h"

#include "app/BookmarkEditor.h"
#include "app/BookmarkNode.h"
#include "app/BookmarksController.h"
#include "app/BookmarksDataSource.h"
#include "app/BookmarksOutlineView.h"
#include "app/BookmarksStorage.h"
#include "app/CorvaneWindowController.h"
#include "atlas/AnnotationLabel.h"
#include "atlas/Atlas.h"
#include "atlas/BrainOntology.h"
#include "core/ResourcePath.h"
#include "expression/BrainExpressionModel.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QFontMetrics>
#include <QMessageBox>
#include <QStyle>
#include <QMimeData>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace
{

BookmarkNode* Root()
{
    return BookmarksController::rootNode();
}

void ClearTree()
{
    BookmarksController::Change change;
    while (Root()->numberOfChildren() > 0)
        BookmarksController::Instance().Discard(Root()->removeChild(Root()->lastChild()));
}

std::unique_ptr<Bookmark> Mark(const std::string& name)
{
    return std::make_unique<Bookmark>(name, Bookmark::VIEW_ANGLE);
}

// Children's names of a node, "[...]" after a group's name holding its own.
std::string Shape(const BookmarkNode* node)
{
    std::string text;
    for (int i = 0; i < node->numberOfChildren(); ++i)
    {
        const BookmarkNode* child = node->childAtIndex(i);
        text += (i ? " " : "") + child->name();
        if (child->isGroup())
            text += "[" + Shape(child) + "]";
    }
    return text;
}

std::string SettingsFile(const std::string& name)
{
    return ResourcePath::GetUserSettingsPath() + name;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class BookmarksPanelTest : public DocumentFixture
{
protected:
    void SetUp() override
    {
        DocumentFixture::SetUp();
        if (HasFatalFailure() || IsSkipped())
            return;
        RemoveFiles();
        ClearTree();
        // G[a b c d] x
        BookmarksController::Change change;
        auto group = BookmarkNode::Group("G");
        for (const char* name : {"a", "b", "c", "d"})
            group->appendChild(BookmarkNode::Leaf(Mark(name)));
        Root()->appendChild(std::move(group));
        Root()->appendChild(BookmarkNode::Leaf(Mark("x")));
    }

    void TearDown() override
    {
        DocumentFixture::TearDown();
        ClearTree();
        RemoveFiles();
    }

    static void RemoveFiles()
    {
        for (const auto& entry : std::filesystem::directory_iterator(ResourcePath::GetUserSettingsPath()))
            if (entry.path().filename().string().rfind("Bookmarks", 0) == 0)
                std::filesystem::remove_all(entry.path());
    }

    BookmarksDataSource& Source(CorvaneDoc* of = nullptr) { return *(of ? of : doc)->bookmarksDataController(); }
    BookmarkNode* Group() { return Root()->childAtIndex(0); }
    BookmarkNode* Node(const std::string& name, BookmarkNode* in = nullptr)
    {
        in = in ? in : Root();
        for (int i = 0; i < in->numberOfChildren(); ++i)
        {
            BookmarkNode* child = in->childAtIndex(i);
            if (child->name() == name)
                return child;
            if (BookmarkNode* found = child->isGroup() ? Node(name, child) : nullptr)
                return found;
        }
        return nullptr;
    }
    QMimeData* Drag(const std::vector<BookmarkNode*>& nodes, CorvaneDoc* from = nullptr)
    {
        QModelIndexList rows;
        for (BookmarkNode* node : nodes)
            rows.push_back(Source(from).indexOfNode(node));
        return Source(from).mimeData(rows);
    }
};

TEST_F(BookmarksPanelTest, NewNodesGoAfterTheSelectedLeafOrIntoTheSelectedGroup)
{
    Source().expandNode(Group());
    struct Case
    {
        const char* selected; // nullptr: nothing
        const char* shape;
    };
    for (const Case& c : {Case{"b", "G[a b new c d] x"}, Case{"G", "G[a b c d new] x"},
                          Case{nullptr, "G[a b c d] x new"}, Case{"x", "G[a b c d] x new"}})
    {
        Source().selectItems(c.selected ? std::vector<BookmarkNode*>{Node(c.selected)} : std::vector<BookmarkNode*>{},
                             false);
        Source().addBookmark(Mark("new"));
        EXPECT_EQ(c.shape, Shape(Root())) << (c.selected ? c.selected : "none");
        // The new node is selected alone.
        EXPECT_EQ(std::vector<BookmarkNode*>{Node("new")}, Source().selectedNodes());
        Source().deleteSelection();
        EXPECT_EQ("G[a b c d] x", Shape(Root()));
    }
    // With the outline shown the new group's name is edited at once; Return gives it the typed name.
    doc->setOntologyDisplayMode(2);
    const QtMessageRecorder qt;
    Source().selectItems({Node("x")}, false);
    Source().addGroup();
    EXPECT_EQ("G[a b c d] x New Group[]", Shape(Root()));
    BookmarksOutlineView* outline = doc->windowController()->bookmarksView;
    auto* editor = qobject_cast<QLineEdit*>(outline->indexWidget(Source().indexOfNode(Node("New Group"))));
    ASSERT_NE(nullptr, editor);
    editor->setText("Named");
    QTest::keyClick(editor, Qt::Key_Return);
    RunEventsFor(20);
    EXPECT_EQ("G[a b c d] x Named[]", Shape(Root()));
    EXPECT_EQ(nullptr, outline->indexWidget(Source().indexOfNode(Node("Named")))); // the edit ended
    EXPECT_TRUE(Source().userModified());
    EXPECT_EQ(std::vector<std::string>{}, qt.messages);
}

TEST_F(BookmarksPanelTest, MovesCountOnlyNodesTakenFromBeforeTheDropPlace)
{
    const QModelIndex group = Source().indexOfNode(Group());
    std::unique_ptr<QMimeData> drag(Drag({Node("a"), Node("b")}));
    ASSERT_TRUE(drag->hasFormat("CorvaneBookmarksPboardType"));
    EXPECT_TRUE(drag->data("CorvaneBookmarksPboardType").isEmpty());
    ASSERT_TRUE(Source().dropMimeData(drag.get(), Qt::MoveAction, 3, 0, group));
    EXPECT_EQ("G[c a b d] x", Shape(Root()));
    EXPECT_EQ(1, Group()->indexOfChild(Node("a")));
    EXPECT_EQ(2, Group()->indexOfChild(Node("b")));
    // A group dragged with one of its own children moves alone, the child staying in it.
    drag.reset(Drag({Node("d"), Group()}));
    ASSERT_TRUE(Source().dropMimeData(drag.get(), Qt::MoveAction, 2, 0, QModelIndex()));
    EXPECT_EQ("x G[c a b d]", Shape(Root()));
    const std::vector<BookmarkNode*> cover =
        BookmarkNode::MinimumNodeCover({Node("d"), Node("a"), Node("G"), Node("x")});
    EXPECT_EQ((std::vector<BookmarkNode*>{Node("G"), Node("x")}), cover);
}

TEST_F(BookmarksPanelTest, DropsOntoLeavesTheOutlineOrTheirOwnSubtreeAreRefused)
{
    auto sub = BookmarkNode::Group("S");
    BookmarkNode* inner = sub.get();
    {
        BookmarksController::Change change;
        Group()->appendChild(std::move(sub));
    }
    std::unique_ptr<QMimeData> drag(Drag({Group()}));
    struct Case
    {
        const char* what;
        int row;
        QModelIndex parent;
        bool allowed;
    };
    const std::vector<Case> cases = {
        {"onto a leaf", -1, Source().indexOfNode(Node("x")), false},
        {"onto the outline", -1, QModelIndex(), false},
        {"into itself", 0, Source().indexOfNode(Group()), false},
        {"into its subgroup", 0, Source().indexOfNode(inner), false},
        {"onto its subgroup", -1, Source().indexOfNode(inner), false},
        {"between top rows", 2, QModelIndex(), true},
    };
    for (const Case& c : cases)
        for (Qt::DropAction action : {Qt::MoveAction, Qt::CopyAction})
            EXPECT_EQ(c.allowed, Source().canDropMimeData(drag.get(), action, c.row, 0, c.parent)) << c.what;
    // A leaf may go onto a group, from another window's outline too.
    CorvaneDoc* other = Open(310);
    ASSERT_NE(nullptr, other);
    drag.reset(Drag({Node("x")}, other));
    EXPECT_TRUE(Source().canDropMimeData(drag.get(), Qt::MoveAction, -1, 0, Source().indexOfNode(inner)));
    ASSERT_TRUE(Source().dropMimeData(drag.get(), Qt::MoveAction, -1, 0, Source().indexOfNode(inner)));
    EXPECT_EQ("G[a b c d S[x]]", Shape(Root()));
    // Any change since the drag began makes it stale: its nodes may be gone.
    drag.reset(Drag({Node("a")}));
    Source().sortData();
    EXPECT_FALSE(Source().canDropMimeData(drag.get(), Qt::MoveAction, 0, 0, QModelIndex()));
    // Other data than a bookmark drag is refused.
    QMimeData text;
    text.setText("x");
    EXPECT_FALSE(Source().canDropMimeData(&text, Qt::MoveAction, 0, 0, QModelIndex()));
}

TEST_F(BookmarksPanelTest, DropOnAGroupRowOfAnotherWindowMovesOrCopiesOnce)
{
    CorvaneDoc* other = Open(310);
    ASSERT_NE(nullptr, other);
    BookmarksOutlineView* target = doc->windowController()->bookmarksView;
    doc->setOntologyDisplayMode(2);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(doc->windowController()));
    struct Case
    {
        Qt::KeyboardModifiers modifiers;
        const char* shape;
    };
    for (const Case& c : {Case{Qt::NoModifier, "G[x a b c d]"}, Case{Qt::ControlModifier, "G[x x a b c d]"}})
    {
        const QRect row = target->visualRect(Source().indexOfNode(Group()));
        ASSERT_TRUE(row.isValid());
        std::unique_ptr<QMimeData> drag(Drag({Node("x")}, other));
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(row.center(), actions, drag.get(), Qt::LeftButton, c.modifiers);
        QCoreApplication::sendEvent(target->viewport(), &enter);
        QDragMoveEvent move(row.center(), actions, drag.get(), Qt::LeftButton, c.modifiers);
        QCoreApplication::sendEvent(target->viewport(), &move);
        QDropEvent drop(QPointF(row.center()), actions, drag.get(), Qt::LeftButton, c.modifiers);
        // What the window system makes of the modifiers, and how it delivers the drop.
        drop.setDropAction(c.modifiers == Qt::ControlModifier ? Qt::CopyAction : Qt::MoveAction);
        drop.setAccepted(false);
        QCoreApplication::sendEvent(target->viewport(), &drop);
        EXPECT_EQ(c.shape, Shape(Root())) << c.modifiers;
        // The source window shows the one tree too, nothing taken from it a second time.
        EXPECT_EQ(1, Source(other).rowCount());
        EXPECT_EQ(Group()->numberOfChildren(), Source(other).rowCount(Source(other).indexOfNode(Group())));
    }
}

TEST_F(BookmarksPanelTest, CopiedGroupOwnsItsCopiedChildren)
{
    Source().expandNode(Group());
    std::unique_ptr<QMimeData> drag(Drag({Group()}));
    ASSERT_TRUE(Source().dropMimeData(drag.get(), Qt::CopyAction, 2, 0, QModelIndex()));
    EXPECT_EQ("G[a b c d] x G[a b c d]", Shape(Root()));
    BookmarkNode* copy = Root()->childAtIndex(2);
    EXPECT_NE(Group(), copy);
    EXPECT_TRUE(Source().isNodeExpanded(copy)); // as its source
    EXPECT_EQ(std::vector<BookmarkNode*>{copy}, Source().selectedNodes());
    BookmarkNode* child = copy->childAtIndex(1);
    EXPECT_EQ(copy, child->nodeParent());
    EXPECT_NE(Group()->childAtIndex(1)->nodeData(), child->nodeData());
    EXPECT_EQ("b", child->nodeData()->GetName());
    Source().selectItems({child}, false);
    Source().deleteSelection();
    EXPECT_EQ("G[a b c d] x G[a c d]", Shape(Root()));
}

TEST_F(BookmarksPanelTest, SortingPutsGreaterNamesFirstAtEveryLevel)
{
    {
        BookmarksController::Change change;
        for (const char* name : {"Alpha", "beta", "Gamma"})
            Root()->appendChild(BookmarkNode::Leaf(Mark(name)));
        for (const char* name : {"Zed", "Alpha", "beta", "Gamma"})
            Group()->appendChild(BookmarkNode::Leaf(Mark(name)));
    }
    Source().selectItems({Node("x")}, false);
    Source().sortData();
    EXPECT_EQ("x beta Gamma G[d c beta b a Zed Gamma Alpha] Alpha", Shape(Root()));
    EXPECT_EQ(std::vector<BookmarkNode*>{Node("x")}, Source().selectedNodes());
    // Leaves and their bookmarks keep one name.
    Source().setData(Source().indexOfNode(Node("x")), QString("renamed"), Qt::EditRole);
    EXPECT_EQ("renamed", Node("renamed")->nodeData()->GetName());
}

TEST_F(BookmarksPanelTest, EveryWindowShowsTheChangeOnlyTheChangingOneIsModified)
{
    CorvaneDoc* other = Open(310);
    ASSERT_NE(nullptr, other);
    Source(other).expandNode(Group());
    Source().clearUserModified();
    Source(other).clearUserModified();
    Source().selectItems({Node("x")}, false);
    Source().deleteSelection();
    EXPECT_EQ(1, Source(other).rowCount());
    EXPECT_EQ(4, Source(other).rowCount(Source(other).indexOfNode(Group())));
    EXPECT_TRUE(Source(other).isNodeExpanded(Group())); // kept over the reset
    EXPECT_TRUE(Source().userModified());
    EXPECT_FALSE(Source(other).userModified());
    // Opening or closing a group is a change to save.
    Source(other).expandNode(Group());
    doc->windowController()->bookmarksView->collapse(Source().indexOfNode(Group()));
    Source(other).clearUserModified();
    doc->windowController()->bookmarksView->expand(Source().indexOfNode(Group()));
    EXPECT_FALSE(Source(other).userModified());
    // A new window takes the groups open in the active one.
    doc->windowDidBecomeKey();
    CorvaneDoc* third = Open(310);
    ASSERT_NE(nullptr, third);
    EXPECT_TRUE(Source(third).isNodeExpanded(Group()));
}

TEST_F(BookmarksPanelTest, EditorRefusesNoSettingsBeforeAnEmptyName)
{
    struct Case
    {
        int type;
        const char* name;
        const char* reason;
    };
    for (const Case& c : {Case{0, "", "Please select at least 1 setting to bookmark."},
                          Case{0, "view", "Please select at least 1 setting to bookmark."},
                          Case{4, "", "Please enter a name for the bookmark."}, Case{4 | 64, "view", ""}})
        EXPECT_EQ(c.reason, BookmarkEditor::IncompleteReason(c.type, c.name)) << c.type << c.name;

    BookmarkEditor editor(doc->windowController());
    editor.synchronize(0);
    editor.open();
    editor.save();
    const QList<QMessageBox*> sheets = editor.findChildren<QMessageBox*>("incompleteBookmarkSheet");
    ASSERT_EQ(1, sheets.size());
    EXPECT_EQ("Incomplete Bookmark", sheets[0]->windowTitle());
    EXPECT_EQ("Please select at least 1 setting to bookmark.", sheets[0]->text());
    EXPECT_TRUE(editor.isVisible());
    // Wide enough for its whole title in a window manager's bold face beside the title bar's icon and three
    // buttons, each about as wide as the bar is high, and the bar's margins.
    QFont bold = editor.font();
    bold.setBold(true);
    const int bar = editor.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &editor);
    EXPECT_GE(editor.width(), QFontMetrics(bold).horizontalAdvance("New Bookmark") + 6 * bar);
    sheets[0]->close();
    // Restricted to the filter expression the boxes are off limits, and the last free choice is kept.
    editor.synchronize(4 | 8);
    editor.cancel();
    editor.restrictToFilterExpression(true);
    EXPECT_EQ(1, editor.bookmarkType());
    for (QCheckBox* box : editor.findChildren<QCheckBox*>())
        EXPECT_FALSE(box->isEnabled());
    editor.restrictToFilterExpression(false);
    EXPECT_EQ(4 | 8, editor.bookmarkType());
    EXPECT_EQ(4 | 8, editor.savedBookmarkType());
}

TEST_F(BookmarksPanelTest, DefaultsFillAnEmptyTreeWithoutAFile)
{
    ClearTree();
    EXPECT_FALSE(ReadBookmarks(Source(), Root(), doc->expressionModel()));
    ASSERT_EQ(1, Root()->numberOfChildren());
    BookmarkNode* views = Root()->firstChild();
    EXPECT_EQ("Views", views->name());
    EXPECT_TRUE(Source().isNodeExpanded(views));
    const float c = 0.70710677f;
    struct Case
    {
        const char* name;
        float rotation[4];
    };
    const Case cases[] = {
        {"Coronal - Caudal to Rostral", {0, c, 0, c}},     {"Coronal - Rostral to Caudal", {0, -c, 0, c}},
        {"Horizontal - Dorsal to Ventral", {-c, 0, 0, c}}, {"Horizontal - Ventral to Dorsal", {c, 0, 0, c}},
        {"Sagittal - Left to Right", {0, 0, 0, 1}},        {"Sagittal - Right to Left", {0, 1, 0, 0}},
    };
    ASSERT_EQ(6, views->numberOfChildren());
    for (int i = 0; i < 6; ++i)
    {
        const Bookmark* mark = views->childAtIndex(i)->nodeData();
        EXPECT_EQ(cases[i].name, mark->GetName());
        EXPECT_EQ(Bookmark::VIEW_ANGLE, mark->GetFlags());
        EXPECT_EQ(std::vector<float>(cases[i].rotation, cases[i].rotation + 4),
                  std::vector<float>(mark->GetRotation(), mark->GetRotation() + 4))
            << cases[i].name;
    }
    // A filled tree is not read again.
    EXPECT_TRUE(ReadBookmarks(Source(), Root(), doc->expressionModel()));
    EXPECT_EQ(1, Root()->numberOfChildren());
}

TEST_F(BookmarksPanelTest, DamagedFileIsKeptAsideAndReported)
{
    struct Case
    {
        const char* what;
        const char* bytes; // nullptr: a folder
    };
    for (const Case& c :
         {Case{"not XML", "\x01\x02 garbage"}, Case{"truncated", "<?xml version=\"1.0\"?>\n<Bookmarks>\n    <Bookm"},
          Case{"a folder", nullptr}})
    {
        RemoveFiles();
        ClearTree();
        alerts.alerts.clear();
        const std::string path = SettingsFile("Bookmarks.xml");
        if (c.bytes)
            std::ofstream(path, std::ios::binary) << c.bytes;
        else
            std::filesystem::create_directory(path);
        // The window opens with the defaults.
        for (CorvaneDoc* open : opened)
            open->windowDidResignKey();
        CorvaneDoc* fresh = Open(310);
        ASSERT_NE(nullptr, fresh) << c.what;
        EXPECT_EQ("Views", Shape(Root()).substr(0, 5)) << c.what;
        EXPECT_FALSE(Source(fresh).userModified());
        // The damaged file was moved, unchanged, to the name the alert gives.
        EXPECT_FALSE(std::filesystem::exists(path)) << c.what;
        ASSERT_EQ(1u, alerts.alerts.size()) << c.what;
        const std::string& alert = alerts.alerts[0];
        const std::size_t open = alert.find("\"" + ResourcePath::GetUserSettingsPath() + "Bookmarks damaged ");
        ASSERT_NE(std::string::npos, open) << alert;
        const std::string kept = alert.substr(open + 1, alert.find('"', open + 1) - open - 1);
        ASSERT_TRUE(std::filesystem::exists(kept)) << kept;
        if (c.bytes)
        {
            EXPECT_EQ(c.bytes, ReadAll(kept));
        }
        // A save leaves it alone.
        EXPECT_TRUE(SaveBookmarks(Source(fresh), Root()));
        EXPECT_TRUE(std::filesystem::exists(kept));
        EXPECT_TRUE(std::filesystem::exists(path));
    }
}

TEST_F(BookmarksPanelTest, SavedFileKeepsEachBookmarksOwnAtlasAndReadsBackTheSame)
{
    // A bookmark of atlas 310 with a structure, saved from a window of another atlas.
    BrainExpressionModel* model = doc->expressionModel();
    const AnnotationLabel* hypothalamus = model->GetAtlas()->GetOntology()->GetAnnotationLabel(std::string("HY"));
    ASSERT_NE(0u, hypothalamus->index);
    Bookmark::Selector structures(model->GetAtlas()->GetOntology()->GetNumLabels(), false);
    structures.Set(hypothalamus->index, true);
    model->SetStructureSelector(structures, false);
    Source().selectItems({Node("x")}, false);
    Source().addBookmark(
        std::make_unique<Bookmark>("with <structure> & \"quotes\"", Bookmark::ATLAS_STRUCTURES, model));
    Install(350, "micro");
    CorvaneDoc* other = Open(350);
    ASSERT_NE(nullptr, other);
    ASSERT_EQ(0u, other->expressionModel()->GetAtlas()->GetOntology()->GetAnnotationLabel(std::string("HY"))->index);
    Source(other).expandNode(Group());
    ASSERT_TRUE(SaveBookmarks(Source(other), Root()));
    const std::string written = ReadAll(SettingsFile("Bookmarks.xml"));
    EXPECT_NE(std::string::npos,
              written.find("<Structure id=\"" + std::to_string(hypothalamus->databaseId) + "\" name=\"HY\"/>"))
        << written;
    EXPECT_NE(std::string::npos, written.find("    <BookmarkGroup name=\"G\" expanded=\"true\">\n")) << written;
    // Read into the other atlas's window, written again: the same bytes; the earlier file is the ".bak".
    ClearTree();
    EXPECT_TRUE(ReadBookmarks(Source(other), Root(), other->expressionModel()));
    EXPECT_EQ(written, ComposeBookmarks(Source(other), Root()));
    ASSERT_TRUE(SaveBookmarks(Source(other), Root()));
    EXPECT_EQ(written, ReadAll(SettingsFile("Bookmarks.xml")));
    EXPECT_EQ(written, ReadAll(SettingsFile("Bookmarks.bak")));
    EXPECT_FALSE(std::filesystem::exists(SettingsFile("Bookmarks.new")));
}

TEST_F(BookmarksPanelTest, ClosingAChangedWindowSavesTheTree)
{
    struct Case
    {
        bool change;
        bool saved;
    };
    for (const Case& c : {Case{false, false}, Case{true, true}})
    {
        RemoveFiles();
        CorvaneDoc* window = Open(310);
        ASSERT_NE(nullptr, window);
        Source(window).clearUserModified();
        if (c.change)
            Source(window).addGroup();
        window->performClose();
        EXPECT_EQ(c.saved, std::filesystem::exists(SettingsFile("Bookmarks.xml"))) << c.change;
        EXPECT_FALSE(Source(window).userModified());
    }
}

} // namespace
