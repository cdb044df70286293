#include "app/BookmarksStorage.h"

#include "app/BookmarkNode.h"
#include "app/BookmarksController.h"
#include "app/BookmarksDataSource.h"
#include "app/BookmarksTreeAdapter.h"
#include "core/Alerts.h"
#include "core/OSUtils.h"
#include "core/ResourcePath.h"
#include "expression/BookmarksFile.h"
#include "expression/BookmarksReader.h"
#include "expression/BrainExpressionModel.h"

#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace
{

const char* const kFileName = "Bookmarks.xml";

bool Present(const std::string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

// The settings folder's "Bookmarks.xml", empty when there is no settings folder.
std::string UserFile()
{
    try
    {
        return ResourcePath::GetUserSettingsPath() + kFileName;
    }
    catch (const std::exception&)
    {
        return std::string();
    }
}

std::string ProgramDataFile()
{
    try
    {
        return ResourcePath::GetResourcePath() + kFileName;
    }
    catch (const std::exception&)
    {
        return std::string();
    }
}

// "Bookmarks damaged 2026-12-07 10-30-00.xml" beside the file (with a number when that is taken), where
// no save writes; empty when the file could not be moved.
std::string MoveAside(const std::string& path)
{
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
    for (int attempt = 1; attempt < 100; ++attempt)
    {
        const std::string target = folder + "Bookmarks damaged " + stamp +
                                   (attempt > 1 ? " " + std::to_string(attempt) : std::string()) + ".xml";
        if (Present(target))
            continue;
        // Fails rather than replace a file that appeared meanwhile.
        return OSUtils::MoveFile(path.c_str(), target.c_str()) ? target : std::string();
    }
    return std::string();
}

void KeepDamagedFile(const std::string& path, const std::string& problem)
{
    const std::string kept = MoveAside(path);
    if (!kept.empty())
    {
        ShowAlertBox("The bookmarks file could not be read (" + problem + ").\n\nIt was moved to \"" + kept +
                     "\". The default bookmarks take its place.");
        return;
    }
    // Left where it is, the file must survive this session's saves.
    BookmarksController::Instance().SetSavingBlocked(true);
    ShowAlertBox("The bookmarks file could not be read (" + problem +
                 ").\n\nIt could not be moved aside and stays at \"" + path +
                 "\"; bookmark changes will not be saved until it is repaired or removed.");
}

BookmarksFile::Item ItemOf(const BookmarksDataSource& outline, const BookmarkNode& node)
{
    if (node.isLeaf())
    {
        Bookmark bookmark = node.nodeData() ? *node.nodeData() : Bookmark(node.name(), 0);
        bookmark.SetName(node.name());
        return BookmarksFile::Item::Leaf(bookmark);
    }
    std::vector<BookmarksFile::Item> children;
    for (int i = 0; i < node.numberOfChildren(); ++i)
        children.push_back(ItemOf(outline, *node.childAtIndex(i)));
    return BookmarksFile::Item::Group(node.name(), outline.isNodeExpanded(&node), std::move(children));
}

} // namespace

bool ReadBookmarks(BookmarksDataSource& outline, BookmarkNode* root, const BrainExpressionModel* model)
{
    if (root->numberOfChildren() > 0)
        return true;
    const std::string userFile = UserFile();
    const std::string path = Present(userFile) ? userFile : ProgramDataFile();
    if (!Present(path))
    {
        CreateDefaultBookmarks(outline, root);
        return false;
    }
    std::string problem;
    std::vector<BookmarkNode*> expanded;
    {
        BookmarksController::Change change;
        BookmarksTreeAdapter adapter(root);
        try
        {
            BookmarksReader reader(path.c_str(), &adapter, model ? model->GetSharedAtlas() : nullptr);
            expanded = adapter.ExpandedGroups();
        }
        catch (const std::exception& e)
        {
            problem = e.what();
        }
        catch (...)
        {
            problem = "unknown error";
        }
        // What a damaged file gave before its fault goes with it.
        if (!problem.empty())
            while (root->numberOfChildren() > 0)
                BookmarksController::Instance().Discard(root->removeChild(root->lastChild()));
    }
    // The outline has the rows now.
    for (const BookmarkNode* group : expanded)
        outline.expandNode(group);
    if (problem.empty())
        return true;
    if (path == userFile)
        KeepDamagedFile(path, problem);
    CreateDefaultBookmarks(outline, root);
    return false;
}

void CreateDefaultBookmarks(BookmarksDataSource& outline, BookmarkNode* root)
{
    const float c = 0.70710677f;
    struct View
    {
        const char* name;
        float rotation[4];
    };
    static const View kViews[] = {
        {"Coronal - Caudal to Rostral", {0, c, 0, c}},     {"Coronal - Rostral to Caudal", {0, -c, 0, c}},
        {"Horizontal - Dorsal to Ventral", {-c, 0, 0, c}}, {"Horizontal - Ventral to Dorsal", {c, 0, 0, c}},
        {"Sagittal - Left to Right", {0, 0, 0, 1}},        {"Sagittal - Right to Left", {0, 1, 0, 0}},
    };
    BookmarkNode* group = nullptr;
    {
        BookmarksController::Change change;
        std::unique_ptr<BookmarkNode> views = BookmarkNode::Group("Views");
        group = views.get();
        for (const View& view : kViews)
        {
            auto bookmark = std::make_unique<Bookmark>(view.name, Bookmark::VIEW_ANGLE);
            bookmark->SetRotation(view.rotation);
            views->appendChild(BookmarkNode::Leaf(std::move(bookmark)));
        }
        root->appendChild(std::move(views));
    }
    outline.expandNode(group);
}

std::string ComposeBookmarks(const BookmarksDataSource& outline, const BookmarkNode* root)
{
    std::vector<BookmarksFile::Item> items;
    for (int i = 0; i < root->numberOfChildren(); ++i)
        items.push_back(ItemOf(outline, *root->childAtIndex(i)));
    return BookmarksFile::Compose(items);
}

bool SaveBookmarks(const BookmarksDataSource& outline, const BookmarkNode* root)
{
    if (BookmarksController::Instance().SavingBlocked())
        return false;
    try
    {
        // Each bookmark is written against its own atlas's ontology, whichever window saves.
        return BookmarksFile::Replace(ResourcePath::GetUserSettingsPath(), ComposeBookmarks(outline, root));
    }
    catch (const std::exception&)
    {
        return false;
    }
}

void SynchronizeBookmarks(const BookmarksDataSource& from, BookmarksDataSource& to, const BookmarkNode* root)
{
    for (int i = 0; i < root->numberOfChildren(); ++i)
    {
        const BookmarkNode* child = root->childAtIndex(i);
        if (child->isGroup() && from.isNodeExpanded(child))
            to.expandNode(child);
        SynchronizeBookmarks(from, to, child);
    }
}
