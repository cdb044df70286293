#pragma once

#include "expression/BookmarksIOAdapter.h"

#include <vector>

class BookmarkNode;

// Puts the groups and bookmarks of a bookmarks file into the tree: a group's handle is its node, and items
// without a parent go to the root. Groups saved open are listed for the outline to expand once the tree
// is shown.
class BookmarksTreeAdapter : public BookmarksIOAdapter
{
public:
    explicit BookmarksTreeAdapter(BookmarkNode* root);

    void* AddGroup(const std::string& name, bool expanded, void* parent) override;
    void AddBookmark(const Bookmark& bookmark, void* parent) override;

    const std::vector<BookmarkNode*>& ExpandedGroups() const { return m_expanded; }

private:
    BookmarkNode* ParentOf(void* handle) const;

    BookmarkNode* m_root;
    std::vector<BookmarkNode*> m_expanded;
};
