#include "app/BookmarkNode.h"

#include <algorithm>

BookmarkNode::BookmarkNode(const std::string& name, std::unique_ptr<Bookmark> bookmark, bool isLeaf)
    : m_data(std::move(bookmark))
    , m_name(name)
    , m_isLeaf(isLeaf)
{
}

std::unique_ptr<BookmarkNode> BookmarkNode::Group(const std::string& name)
{
    return std::unique_ptr<BookmarkNode>(new BookmarkNode(name, nullptr, false));
}

std::unique_ptr<BookmarkNode> BookmarkNode::Leaf(std::unique_ptr<Bookmark> bookmark)
{
    const std::string name = bookmark ? bookmark->GetName() : std::string();
    return std::unique_ptr<BookmarkNode>(new BookmarkNode(name, std::move(bookmark), true));
}

std::unique_ptr<BookmarkNode> BookmarkNode::Copy(const BookmarkNode& node, BookmarkNode* parent)
{
    std::unique_ptr<Bookmark> data = node.m_data ? std::make_unique<Bookmark>(*node.m_data) : nullptr;
    std::unique_ptr<BookmarkNode> copy(new BookmarkNode(node.m_name, std::move(data), node.m_isLeaf));
    copy->m_parent = parent;
    for (const std::unique_ptr<BookmarkNode>& child : node.m_children)
        copy->m_children.push_back(Copy(*child, copy.get()));
    return copy;
}

std::vector<BookmarkNode*> BookmarkNode::MinimumNodeCover(std::vector<BookmarkNode*> nodes)
{
    std::vector<BookmarkNode*> cover;
    const auto contains = [&nodes](const BookmarkNode* node) {
        return std::find(nodes.begin(), nodes.end(), node) != nodes.end();
    };
    while (!nodes.empty())
    {
        BookmarkNode* node = nodes.front();
        // Climb while the parent is dragged too: the parent carries the node along.
        while (node->m_parent && contains(node->m_parent))
        {
            nodes.erase(std::find(nodes.begin(), nodes.end(), node));
            node = node->m_parent;
        }
        if (!node->isDescendantOfNodeInArray(cover))
            cover.push_back(node);
        nodes.erase(std::find(nodes.begin(), nodes.end(), node));
    }
    return cover;
}

void BookmarkNode::setName(const std::string& name)
{
    m_name = name;
    if (m_data)
        m_data->SetName(name);
}

void BookmarkNode::appendChild(std::unique_ptr<BookmarkNode> child)
{
    insertChild(std::move(child), numberOfChildren());
}

void BookmarkNode::insertChild(std::unique_ptr<BookmarkNode> child, int index)
{
    std::vector<std::unique_ptr<BookmarkNode>> one;
    one.push_back(std::move(child));
    insertChildren(std::move(one), index);
}

void BookmarkNode::insertChildren(std::vector<std::unique_ptr<BookmarkNode>> children, int index)
{
    index = std::clamp(index, 0, numberOfChildren());
    for (std::unique_ptr<BookmarkNode>& child : children)
    {
        if (!child)
            continue;
        child->m_parent = this;
        m_children.insert(m_children.begin() + index++, std::move(child));
    }
}

std::unique_ptr<BookmarkNode> BookmarkNode::removeChild(const BookmarkNode* child)
{
    const int index = indexOfChild(child);
    if (index < 0)
        return nullptr;
    std::unique_ptr<BookmarkNode> taken = std::move(m_children[static_cast<std::size_t>(index)]);
    m_children.erase(m_children.begin() + index);
    taken->m_parent = nullptr;
    return taken;
}

std::unique_ptr<BookmarkNode> BookmarkNode::removeFromParent()
{
    return m_parent ? m_parent->removeChild(this) : nullptr;
}

int BookmarkNode::indexOfChild(const BookmarkNode* child) const
{
    for (std::size_t i = 0; i < m_children.size(); ++i)
        if (m_children[i].get() == child)
            return static_cast<int>(i);
    return -1;
}

BookmarkNode* BookmarkNode::childAtIndex(int index) const
{
    return index >= 0 && index < numberOfChildren() ? m_children[static_cast<std::size_t>(index)].get() : nullptr;
}

bool BookmarkNode::isDescendantOfNode(const BookmarkNode* node) const
{
    for (const BookmarkNode* at = this; at; at = at->m_parent)
        if (at == node)
            return true;
    return false;
}

bool BookmarkNode::isDescendantOfNodeInArray(const std::vector<BookmarkNode*>& nodes) const
{
    return std::any_of(nodes.begin(), nodes.end(), [this](const BookmarkNode* n) { return isDescendantOfNode(n); });
}

int BookmarkNode::compare(const BookmarkNode& other) const
{
    // Byte order, greatest first; a group's name stands where a leaf's bookmark name would.
    const int order = m_name.compare(other.m_name);
    return order > 0 ? -1 : (order < 0 ? 1 : 0);
}

void BookmarkNode::recursiveSortChildren()
{
    std::stable_sort(m_children.begin(), m_children.end(),
                     [](const std::unique_ptr<BookmarkNode>& a, const std::unique_ptr<BookmarkNode>& b) {
                         return a->compare(*b) < 0;
                     });
    for (const std::unique_ptr<BookmarkNode>& child : m_children)
        child->recursiveSortChildren();
}
