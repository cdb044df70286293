#pragma once

#include <QMenu>
#include <QPointer>
#include <QTableView>

// A table whose context menu acts on the row under the pointer: a right click selects that row alone
// before the menu shows; a click below the last row clears the selection and shows no menu. Main thread
// only; the menu is not owned.
class ContextMenuTableView : public QTableView
{
    Q_OBJECT

public:
    explicit ContextMenuTableView(QWidget* parent = nullptr);

    void setMenu(QMenu* menu) { m_menu = menu; }
    QMenu* menu() const { return m_menu; }
    // The menu for a click at that point of the viewport, after the selection follows it; null for none.
    QMenu* menuForEvent(const QPoint& viewportPosition);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QPointer<QMenu> m_menu;
};
