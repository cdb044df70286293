#pragma once

#include <string>

class Bookmark;

// Receives the groups and bookmarks of a bookmarks file in file order. The adapter copies what it keeps.
class BookmarksIOAdapter
{
public:
    virtual ~BookmarksIOAdapter() = default;
    // parent is null for top-level items; the answer is the handle that the group's items get as parent.
    virtual void* AddGroup(const std::string& name, bool expanded, void* parent) = 0;
    virtual void AddBookmark(const Bookmark& bookmark, void* parent) = 0;
};
