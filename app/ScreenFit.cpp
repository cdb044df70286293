#include "app/ScreenFit.h"

#include <QDialog>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

bool ScreenFit::eventFilter(QObject* watched, QEvent* event)
{
    // The program's showing, not the window system's telling of it (a window restored from the dock). Pop-ups
    // and tool tips place themselves.
    if (event->type() != QEvent::Show || event->spontaneous() || !watched->isWidgetType())
        return false;
    QWidget* window = static_cast<QWidget*>(watched);
    const Qt::WindowType type = window->windowType();
    if (!window->isWindow() || (type != Qt::Window && type != Qt::Dialog && type != Qt::Sheet))
        return false;
    // A dialog that nobody has placed is placed by Qt as it shows, on its parent or in the screen's middle and
    // within the screen: it needs only to be no larger.
    FitWindow(window, qobject_cast<QDialog*>(window) && !window->testAttribute(Qt::WA_Moved));
    return false;
}

QRect ScreenFit::Fitted(QRect frame, const QRect& available)
{
    if (available.isEmpty())
        return frame;
    frame.setWidth(std::min(frame.width(), available.width()));
    frame.setHeight(std::min(frame.height(), available.height()));
    frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() + 1 - frame.height()));
    return frame;
}

void ScreenFit::FitWindow(QWidget* window, bool sizeOnly)
{
    // One that nobody has sized yet would take the size of its contents as it is shown.
    if (!window->isVisible() && !window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const QRect inner = window->geometry();
    const QRect frame = window->frameGeometry();
    QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                     frame.bottom() - inner.bottom());
    if (margins.isNull())
    {
        // Until the window manager has framed the window, a frame on the large side stands in for its own: the
        // style's title bar, and twice the style's window border on the other sides.
        const int border = 2 * window->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
        const int title = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
        margins = QMargins(border, title, border, border);
    }
    const QRect outer = inner.marginsAdded(margins);
    const QScreen* screen = QGuiApplication::screenAt(outer.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect fitted = screen ? Fitted(outer, screen->availableGeometry()) : outer;
    if (fitted.size() == outer.size() && (sizeOnly || fitted == outer))
        return;
    // The window manager frames the window around its inside, wherever that is put.
    if (sizeOnly)
        window->resize(fitted.marginsRemoved(margins).size());
    else
        window->setGeometry(fitted.marginsRemoved(margins));
}
