#pragma once

// The bookmarks file "Bookmarks.xml" in the user's settings folder and the shared tree: reading it when the
// first window opens, the default bookmarks, and saving when a window that changed the tree closes. The
// outline of a window is given by its data source, which knows which groups it shows open.

#include <string>

class BookmarkNode;
class BookmarksDataSource;
class BrainExpressionModel;

// Fills the empty tree from the user's file, else from the program data folder's, else with the defaults.
// True when the tree was filled already or was read from a file. A file of the user's that is there but
// cannot be read is moved aside to a dated name that no save touches, and the user is told where, before
// the defaults take its place.
bool ReadBookmarks(BookmarksDataSource& outline, BookmarkNode* root, const BrainExpressionModel* model);
// Appends the group "Views" with the six standard view angles, shown open.
void CreateDefaultBookmarks(BookmarksDataSource& outline, BookmarkNode* root);
// Puts the whole tree in place of the user's "Bookmarks.xml", the previous file kept as "Bookmarks.bak";
// groups open in the outline are saved open. False when the file could not be replaced (it is then the one
// it was) or must not be.
bool SaveBookmarks(const BookmarksDataSource& outline, const BookmarkNode* root);
// The file's complete text for the tree as the outline shows it.
std::string ComposeBookmarks(const BookmarksDataSource& outline, const BookmarkNode* root);
// Opens in the second outline every group that is open in the first.
void SynchronizeBookmarks(const BookmarksDataSource& from, BookmarksDataSource& to, const BookmarkNode* root);
