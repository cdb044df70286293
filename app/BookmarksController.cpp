#include "app/BookmarksController.h"

#include "app/Notifications.h"

BookmarksController::BookmarksController()
    : m_root(BookmarkNode::Group("Root"))
{
}

BookmarksController& BookmarksController::Instance()
{
    static BookmarksController instance;
    return instance;
}

void BookmarksController::BeginChange()
{
    if (m_changeDepth++ == 0)
        emit AboutToChange();
}

void BookmarksController::EndChange()
{
    if (m_changeDepth <= 0 || --m_changeDepth > 0)
        return;
    ++m_generation;
    emit Notifications::Instance()->BookmarksChanged();
    m_discarded.clear();
}

void BookmarksController::Rename(BookmarkNode* node, const std::string& name)
{
    node->setName(name);
    emit Renamed(node);
}

void BookmarksController::Discard(std::unique_ptr<BookmarkNode> node)
{
    if (node)
        m_discarded.push_back(std::move(node));
}
