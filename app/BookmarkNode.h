#pragma once

#include "expression/Bookmark.h"

#include <memory>
#include <string>
#include <vector>

// One entry of the bookmarks tree: a named group of entries, or a leaf holding one Bookmark whose name is
// the leaf's name. A node owns its bookmark and its children; its parent is the node that owns it (null
// for the root and for a node taken out of the tree).
class BookmarkNode
{
public:
    // A group with that name.
    static std::unique_ptr<BookmarkNode> Group(const std::string& name);
    // A leaf named after the bookmark.
    static std::unique_ptr<BookmarkNode> Leaf(std::unique_ptr<Bookmark> bookmark);
    // A deep copy: name, bookmark and every child, with parent as its parent.
    static std::unique_ptr<BookmarkNode> Copy(const BookmarkNode& node, BookmarkNode* parent);
    // The nodes that carry the others along when moved: those none of whose ancestors is in the list, in
    // the order found.
    static std::vector<BookmarkNode*> MinimumNodeCover(std::vector<BookmarkNode*> nodes);

    BookmarkNode(const BookmarkNode&) = delete;
    BookmarkNode& operator=(const BookmarkNode&) = delete;

    bool isLeaf() const { return m_isLeaf; }
    bool isGroup() const { return !m_isLeaf; }
    Bookmark* nodeData() const { return m_data.get(); }
    void setNodeData(std::unique_ptr<Bookmark> bookmark) { m_data = std::move(bookmark); }
    BookmarkNode* nodeParent() const { return m_parent; }
    const std::string& name() const { return m_name; }
    // Renaming a leaf renames its bookmark too.
    void setName(const std::string& name);

    void appendChild(std::unique_ptr<BookmarkNode> child);
    // index is clamped to the children's range.
    void insertChild(std::unique_ptr<BookmarkNode> child, int index);
    // In list order from index on.
    void insertChildren(std::vector<std::unique_ptr<BookmarkNode>> children, int index);
    // The child taken out of this node, null when it is not a child.
    std::unique_ptr<BookmarkNode> removeChild(const BookmarkNode* child);
    std::unique_ptr<BookmarkNode> removeFromParent();
    // -1 when it is not a child.
    int indexOfChild(const BookmarkNode* child) const;
    int numberOfChildren() const { return static_cast<int>(m_children.size()); }
    // Null outside the range.
    BookmarkNode* childAtIndex(int index) const;
    BookmarkNode* firstChild() const { return childAtIndex(0); }
    BookmarkNode* lastChild() const { return childAtIndex(numberOfChildren() - 1); }
    // The node itself or one of its ancestors is node.
    bool isDescendantOfNode(const BookmarkNode* node) const;
    bool isDescendantOfNodeInArray(const std::vector<BookmarkNode*>& nodes) const;
    // Each level ordered by name, greatest byte string first; groups and leaves alike.
    void recursiveSortChildren();
    // Negative when this node comes first in a sorted level.
    int compare(const BookmarkNode& other) const;

private:
    BookmarkNode(const std::string& name, std::unique_ptr<Bookmark> bookmark, bool isLeaf);

    BookmarkNode* m_parent = nullptr;
    std::unique_ptr<Bookmark> m_data;
    std::string m_name;
    bool m_isLeaf;
    std::vector<std::unique_ptr<BookmarkNode>> m_children;
};
