#include "app/main/MenuMap.h"

#include "app/ScreenFit.h"

#include <QAction>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <QToolBar>

QString MenuMap::Path()
{
    return QString::fromLocal8Bit(qgetenv("CORVANE_MENU_MAP"));
}

bool MenuMap::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type kind = event->type();
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || (kind != QEvent::Show && kind != QEvent::Resize && kind != QEvent::Move))
        return false;
    if (auto* menu = qobject_cast<QMenu*>(widget); menu && kind == QEvent::Show)
        Write(menu);
    else if (kind == QEvent::Move && widget->isWindow())
    {
        // A window moved (to another monitor, say) moves its bar and toolbars, which hear nothing of it.
        for (QWidget* child : widget->findChildren<QWidget*>())
            WriteLater(child);
    }
    else if (kind != QEvent::Move)
        WriteLater(widget);
    return false;
}

void MenuMap::WriteLater(QWidget* widget)
{
    // Their items are placed once the pending layout has run.
    if (auto* bar = qobject_cast<QMenuBar*>(widget))
        QTimer::singleShot(0, bar, [bar] { Write(bar); });
    else if (auto* tools = qobject_cast<QToolBar*>(widget))
        QTimer::singleShot(0, tools, [tools] { Write(tools); });
}

// An area of a widget, in the X screen's device pixels.
QString MenuMap::Place(const QWidget* widget, const QRect& area)
{
    const QRect global(widget->mapToGlobal(area.topLeft()), area.size());
    // A menu learns its screen only after it has shown; its place is already on the screen it opens on.
    const QScreen* screen = QGuiApplication::screenAt(global.topLeft());
    if (!screen)
        screen = widget->screen();
    const QRect onScreen = ScreenFit::DevicePixels(global, screen->geometry().topLeft(), screen->devicePixelRatio());
    return QString("%1 %2 %3 %4").arg(onScreen.x()).arg(onScreen.y()).arg(onScreen.width()).arg(onScreen.height());
}

QString MenuMap::Text(const QAction* item)
{
    return QString(item->text()).remove('&');
}

void MenuMap::Write(QMenuBar* bar)
{
    if (!bar->isVisible())
        return;
    QString lines;
    for (QAction* item : bar->actions())
        if (item->isVisible() && !item->isSeparator())
            lines += QString("bar\t%1\t%2\t%3\t%4\n")
                         .arg(bar->window()->winId())
                         .arg(Text(item))
                         .arg(int(item->isEnabled()))
                         .arg(Place(bar, bar->actionGeometry(item)));
    Append(lines);
}

void MenuMap::Write(QToolBar* tools)
{
    if (!tools->isVisible())
        return;
    QString lines;
    for (QAction* item : tools->actions())
        if (QWidget* shown = tools->widgetForAction(item);
            shown && shown->isVisible() && !item->isSeparator() && !item->text().isEmpty())
            lines += QString("tool\t%1\t%2\t%3\t%4\n")
                         .arg(tools->window()->winId())
                         .arg(Text(item))
                         .arg(int(item->isEnabled()))
                         .arg(Place(shown, shown->rect()));
    Append(lines);
}

void MenuMap::Write(QMenu* menu)
{
    QString lines;
    for (QAction* item : menu->actions())
        if (item->isVisible() && !item->isSeparator())
            lines += QString("menu\t%1\t%2\t%3\t%4\t%5\t%6\n")
                         .arg(menu->winId())
                         .arg(Text(menu->menuAction()))
                         .arg(Text(item))
                         .arg(int(item->isEnabled()))
                         .arg(int(item->isChecked()))
                         .arg(Place(menu, menu->actionGeometry(item)));
    Append(lines);
}

void MenuMap::Append(const QString& lines)
{
    QFile file(Path());
    if (!lines.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write((lines + "end\n").toUtf8());
}
