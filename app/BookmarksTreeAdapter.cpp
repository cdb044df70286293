#include "app/BookmarksTreeAdapter.h"

#include "app/BookmarkNode.h"

BookmarksTreeAdapter::BookmarksTreeAdapter(BookmarkNode* root)
    : m_root(root)
{
}

BookmarkNode* BookmarksTreeAdapter::ParentOf(void* handle) const
{
    return handle ? static_cast<BookmarkNode*>(handle) : m_root;
}

void* BookmarksTreeAdapter::AddGroup(const std::string& name, bool expanded, void* parent)
{
    std::unique_ptr<BookmarkNode> group = BookmarkNode::Group(name);
    BookmarkNode* added = group.get();
    ParentOf(parent)->appendChild(std::move(group));
    if (expanded)
        m_expanded.push_back(added);
    return added;
}

void BookmarksTreeAdapter::AddBookmark(const Bookmark& bookmark, void* parent)
{
    ParentOf(parent)->appendChild(BookmarkNode::Leaf(std::make_unique<Bookmark>(bookmark)));
}
