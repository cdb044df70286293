#pragma once

// With CORVANE_MENU_MAP naming a file, every menu bar, menu and toolbar that shows appends where its items are,
// so that a program driving the window from outside (the end-to-end tests) can choose an item by its text. One
// line per item, tab-separated, in the device pixels of the whole X screen:
//   bar   WINDOW  TITLE              ENABLED         X Y WIDTH HEIGHT   (once the menu bar is laid out or moved)
//   menu  WINDOW  MENU-TITLE  TEXT   ENABLED CHECKED X Y WIDTH HEIGHT   (as the menu opens)
//   tool  WINDOW  TEXT               ENABLED         X Y WIDTH HEIGHT   (once a toolbar is laid out or moved)
// where WINDOW is the X window of the menu bar's or toolbar's window, or of the open menu. A menu's lines are
// appended at once and end with a line "end": a reader can see the first part of a write that crosses a page of
// the file, and takes only what an "end" closes.

#include <QObject>
#include <QString>

class QAction;
class QEvent;
class QMenu;
class QMenuBar;
class QRect;
class QToolBar;
class QWidget;

class MenuMap : public QObject
{
public:
    // The file named by the environment; empty when the map is not asked for.
    static QString Path();

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static QString Place(const QWidget* widget, const QRect& area);
    static QString Text(const QAction* item);
    // A menu bar or toolbar, once its layout has run; any other widget is left alone.
    static void WriteLater(QWidget* widget);
    static void Write(QMenuBar* bar);
    static void Write(QToolBar* tools);
    static void Write(QMenu* menu);
    static void Append(const QString& lines);
};
