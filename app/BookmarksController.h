#pragma once

#include "app/BookmarkNode.h"

#include <QObject>

#include <memory>
#include <string>
#include <vector>

// The one bookmarks tree that every document window shows. A change to the tree is made between
// BeginChange and EndChange: the first tells every outline's data source that its rows are about to go (it
// notes what it shows expanded and selected), the last posts "BookmarksChanged", on which every data source
// shows the tree again. Nodes taken out of the tree during a change are handed to Discard and freed only
// after every data source has shown the new tree, so no outline ever holds a freed node. Main thread only.
class BookmarksController : public QObject
{
    Q_OBJECT

public:
    static BookmarksController& Instance();
    // The root group, "Root".
    static BookmarkNode* rootNode() { return Instance().m_root.get(); }

    // Changes nest; only the outermost pair notifies.
    void BeginChange();
    void EndChange();
    void Discard(std::unique_ptr<BookmarkNode> node);
    // Counts finished changes: nodes remembered across one (a drag's) are checked against it.
    unsigned long Generation() const { return m_generation; }

    // Set when a damaged bookmarks file could not be moved out of the way: no save may replace it.
    bool SavingBlocked() const { return m_savingBlocked; }
    void SetSavingBlocked(bool blocked) { m_savingBlocked = blocked; }

    // Begins a change of the shared tree and ends it when it goes, also when an exception leaves the scope.
    class Change
    {
    public:
        Change() { Instance().BeginChange(); }
        ~Change() { Instance().EndChange(); }
        Change(const Change&) = delete;
        Change& operator=(const Change&) = delete;
    };

    // Renames a node in place. No row comes or goes, so the outlines redraw the node's row instead of
    // showing the tree again: a reload would also take away the editor whose commit made the change.
    void Rename(BookmarkNode* node, const std::string& name);

signals:
    void AboutToChange();
    void Renamed(const BookmarkNode* node);

private:
    BookmarksController();

    std::unique_ptr<BookmarkNode> m_root;
    std::vector<std::unique_ptr<BookmarkNode>> m_discarded;
    int m_changeDepth = 0;
    unsigned long m_generation = 0;
    bool m_savingBlocked = false;
};
