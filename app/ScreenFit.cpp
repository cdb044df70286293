#include "app/ScreenFit.h"

#include "platform/WindowActivationTracker.h"

#include <QApplication>
#include <QCursor>
#include <QDataStream>
#include <QDialog>
#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace
{
constexpr Qt::WindowStates kFilling = Qt::WindowMaximized | Qt::WindowFullScreen;
const char* const kNormalFrameProperty = "corvaneNormalFrame";

QRect FittedInto(QRect frame, const QRect& available)
{
    frame.setWidth(std::min(frame.width(), available.width()));
    frame.setHeight(std::min(frame.height(), available.height()));
    frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() + 1 - frame.height()));
    return frame;
}

// The screen of the window that a panel opens from: the active one, else the one active last, else the
// pointer's.
QScreen* OpeningScreen(const QWidget* panel)
{
    for (const QWidget* from : {QApplication::activeWindow(), WindowActivationTracker::LastActiveWindow()})
        if (from && from != panel && from->isVisible())
            return from->screen();
    QScreen* const pointer = QGuiApplication::screenAt(QCursor::pos());
    return pointer ? pointer : panel->screen();
}

long long Overlap(const QRect& a, const QRect& b)
{
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : static_cast<long long>(common.width()) * common.height();
}

// How far apart two rectangles are, along the axis where they are furthest apart.
int Gap(const QRect& a, const QRect& b)
{
    const int across = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const int down = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return std::max(across, down);
}
} // namespace

bool ScreenFit::eventFilter(QObject* watched, QEvent* event)
{
    // The program's showing, not the window system's telling of it (a window restored from the dock). Pop-ups
    // and tool tips place themselves.
    const QEvent::Type kind = event->type();
    const bool shown = kind == QEvent::Show && !event->spontaneous();
    const bool placed = (kind == QEvent::Resize || kind == QEvent::Move) && event->spontaneous();
    if ((!shown && !placed && kind != QEvent::WindowStateChange) || !watched->isWidgetType())
        return false;
    QWidget* window = static_cast<QWidget*>(watched);
    const Qt::WindowType type = window->windowType();
    if (!window->isWindow() || (type != Qt::Window && type != Qt::Dialog && type != Qt::Sheet))
        return false;
    // A dialog that nobody has placed is placed by Qt as it shows, on its parent or in the screen's middle and
    // within the screen: it needs only to be no larger.
    if (shown)
    {
        if (type == Qt::Dialog && !window->parentWidget())
            PlaceOnOpeningScreen(window);
        FitWindow(window, qobject_cast<QDialog*>(window) && !window->testAttribute(Qt::WA_Moved));
    }
    else if (!placed)
        FitNormalFrame(window, static_cast<QWindowStateChangeEvent*>(event)->oldState());
    // The window manager's putting back of the normal frame, when it came after the window left the state.
    else if (window->property(kNormalFrameProperty).isValid() && !(window->windowState() & kFilling))
    {
        window->setProperty(kNormalFrameProperty, QVariant());
        FitWindow(window);
    }
    return false;
}

void ScreenFit::PlaceOnOpeningScreen(QWidget* panel)
{
    const QScreen* const screen = OpeningScreen(panel);
    if (!panel->testAttribute(Qt::WA_Resized))
        panel->adjustSize();
    const QMargins margins = FrameMargins(panel);
    QRect frame = panel->geometry().marginsAdded(margins);
    if (!screen || screen->geometry().contains(frame.center()))
        return;
    frame.moveCenter(screen->availableGeometry().center());
    panel->setGeometry(frame.marginsRemoved(margins));
}

void ScreenFit::FitNormalFrame(QWidget* window, Qt::WindowStates before)
{
    // Once the window has left the state, Qt gives its frame of now as the normal one.
    if (window->windowState() & kFilling)
    {
        window->setProperty(kNormalFrameProperty, window->normalGeometry());
        return;
    }
    if (!(before & kFilling) || window->isMinimized())
        return;
    // The window manager puts back the frame from before; when the program left the state, it does so after
    // this event, and Qt sends nothing for a frame that is the maximized one of now.
    const QRect normal = window->property(kNormalFrameProperty).toRect();
    Fit(window, normal.isValid() ? normal : window->geometry(), false);
}

QRect ScreenFit::Fitted(QRect frame, const QList<QRect>& availableAreas)
{
    // A window that hangs off a screen's edge, over no screen at its centre, stays on the screen that shows
    // most of it; one on a screen that has gone comes to the nearest one left.
    const QRect* best = nullptr;
    std::pair<long long, int> bestScore;
    for (const QRect& area : availableAreas)
    {
        const std::pair<long long, int> score(Overlap(frame, area), -Gap(frame, area));
        if (!area.isEmpty() && (!best || score > bestScore))
        {
            best = &area;
            bestScore = score;
        }
    }
    return best ? FittedInto(frame, *best) : frame;
}

bool ScreenFit::RestoreGeometry(QWidget* window, const QByteArray& saved)
{
    // The fields as saveGeometry writes them, from its second version on, which keeps the screen's width. They
    // are read before Qt restores anything: Qt takes bytes cut short for a frame of no size.
    QDataStream stream(saved);
    stream.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0, minor = 0;
    QRect frame, normal;
    qint32 screen = 0;
    quint8 maximized = 0, fullScreen = 0;
    stream >> magic >> major >> minor >> frame >> normal >> screen >> maximized >> fullScreen;
    // A frame from a damaged settings file may lie beyond any screen, or span more than an int can count.
    constexpr int kFar = 1 << 20;
    const auto reachable = [](const QRect& r) {
        return r.isValid() && std::max({std::abs(qint64(r.left())), std::abs(qint64(r.top())),
                                        std::abs(qint64(r.right())), std::abs(qint64(r.bottom()))}) < kFar;
    };
    if (stream.status() != QDataStream::Ok || magic != 0x1D9D0CB || major < 2 || !reachable(frame) ||
        !reachable(normal))
        return false;
    if (window->restoreGeometry(saved))
        return true;
    // Refused for a screen of another width: the state is kept, with the normal frame fitted.
    window->setGeometry(normal);
    Fit(window, normal, false);
    Qt::WindowStates state = window->windowState() & ~kFilling;
    state.setFlag(Qt::WindowMaximized, maximized != 0);
    state.setFlag(Qt::WindowFullScreen, fullScreen != 0);
    window->setWindowState(state);
    return true;
}

QRect ScreenFit::DevicePixels(const QRect& area, const QPoint& origin, qreal ratio)
{
    const QPointF beyond = QPointF(area.topLeft() - origin) * ratio;
    return QRect(origin + beyond.toPoint(), (QSizeF(area.size()) * ratio).toSize());
}

QMargins ScreenFit::FrameMargins(const QWidget* window)
{
    const QRect inner = window->geometry();
    const QRect frame = window->frameGeometry();
    const QMargins margins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                           frame.bottom() - inner.bottom());
    if (!margins.isNull())
        return margins;
    // Until the window manager has framed the window, a frame on the large side stands in for its own: the
    // style's title bar, and twice the style's window border on the other sides.
    const int border = 2 * window->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, window);
    const int title = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    return QMargins(border, title, border, border);
}

void ScreenFit::FitWindow(QWidget* window, bool sizeOnly)
{
    if (window->windowState() & kFilling)
        return;
    // One that nobody has sized yet would take the size of its contents as it is shown.
    if (!window->isVisible() && !window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    Fit(window, window->geometry(), sizeOnly);
}

void ScreenFit::Fit(QWidget* window, const QRect& geometry, bool sizeOnly)
{
    const QMargins margins = FrameMargins(window);
    const QRect outer = geometry.marginsAdded(margins);
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas.append(screen->availableGeometry());
    // The window manager frames the window around its inside, wherever that is put.
    const QRect fitted = Fitted(outer, areas).marginsRemoved(margins);
    // Against the frame of now, not the one asked for: a window shown maximized from the start has no normal
    // frame of the window manager's to go back to, which keeps it as large as the screen.
    if (sizeOnly && fitted.size() != window->size())
        window->resize(fitted.size());
    else if (!sizeOnly && fitted != window->geometry())
        window->setGeometry(fitted);
}
