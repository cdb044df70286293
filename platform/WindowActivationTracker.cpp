#include "platform/WindowActivationTracker.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace
{

const char* const kDocumentWindowProperty = "corvaneDocumentWindow";

WindowActivationTracker* installed = nullptr;

void MoveToEnd(std::vector<QPointer<QWidget>>& windows, QWidget* window)
{
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [window](const QPointer<QWidget>& seen) { return !seen || seen == window; }),
                  windows.end());
    windows.emplace_back(window);
}

int Rank(const std::vector<QPointer<QWidget>>& windows, const QWidget* panel)
{
    for (std::size_t i = windows.size(); i-- > 0;)
        if (windows[i] == panel)
            return static_cast<int>(i);
    return -1;
}

bool OnPanel(const QWidget* window, const QWidget* panel)
{
    while (window && window != panel)
        window = window->parentWidget();
    return window != nullptr;
}

} // namespace

WindowActivationTracker::WindowActivationTracker()
{
    installed = this;
    if (QCoreApplication* application = QCoreApplication::instance())
        application->installEventFilter(this);
}

WindowActivationTracker::~WindowActivationTracker()
{
    if (installed == this)
        installed = nullptr;
}

void WindowActivationTracker::MarkDocumentWindow(QWidget* window)
{
    window->setProperty(kDocumentWindowProperty, true);
}

bool WindowActivationTracker::IsDocumentWindow(const QWidget* window)
{
    return window && window->property(kDocumentWindowProperty).toBool();
}

void WindowActivationTracker::NoteActivated(QWidget* window)
{
    if (installed && window)
        MoveToEnd(installed->m_activated, window);
}

QWidget* WindowActivationTracker::LastShown(bool documentsOnly, bool minimizedLast)
{
    if (!installed)
        return nullptr;
    const Windows& activated = installed->m_activated;
    for (const bool minimizedToo : {!minimizedLast, true})
        for (auto it = activated.rbegin(); it != activated.rend(); ++it)
            if (*it && (*it)->isVisible() && (minimizedToo || !(*it)->isMinimized()) &&
                (!documentsOnly || IsDocumentWindow(*it)))
                return *it;
    return nullptr;
}

QWidget* WindowActivationTracker::LastDocumentWindow(bool minimizedLast)
{
    if (QWidget* window = LastShown(true, minimizedLast); window && !(minimizedLast && window->isMinimized()))
        return window;
    // A document window shown but never yet activated (the window system had not answered yet).
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && !(minimizedLast && window->isMinimized()) && IsDocumentWindow(window))
            return window;
    return LastShown(true, false);
}

QWidget* WindowActivationTracker::LastActiveWindow()
{
    return LastShown(false, false);
}

QWidget* WindowActivationTracker::ApplicationModalPanel()
{
    if (!installed)
        return nullptr;
    // The modal panel shown last may be a sheet on the question (Choose Atlas's "Please select an atlas.") or
    // an alert that came on a document window while the question was asked.
    QWidget* question = nullptr;
    for (const QPointer<QWidget>& panel : installed->m_shownModal)
        if (panel && panel->isVisible() && panel->windowModality() == Qt::ApplicationModal)
            question = panel;
    return question;
}

QWidget* WindowActivationTracker::ModalPanelOn(const QWidget* window)
{
    const auto frontRank = [](const QWidget* panel) { return installed ? Rank(installed->m_fronted, panel) : -1; };
    QWidget* front = nullptr;
    for (QObject* child : window->children())
    {
        auto* panel = child->isWidgetType() ? static_cast<QWidget*>(child) : nullptr;
        if (panel && panel->isWindow() && panel->isVisible() && panel->isModal() &&
            (!front || frontRank(panel) >= frontRank(front)))
            front = panel;
    }
    return front;
}

QWidget* WindowActivationTracker::PanelInFront(QWidget* window)
{
    // Every modal panel shown is on the application's modal stack: with none, no panel waits, which spares
    // the look through the window's children on each activation.
    if (!QApplication::activeModalWidget())
        return window;
    // Not for a window of the panel's own (a pop-up list on it). A modal panel shown after the question takes
    // its own keys: the user may answer it first.
    QWidget* question = ApplicationModalPanel();
    if (question && !OnPanel(window, question) &&
        !(window->isModal() && Rank(installed->m_shownModal, window) > Rank(installed->m_shownModal, question)))
        window = question;
    while (QWidget* panel = window ? ModalPanelOn(window) : nullptr)
        window = panel;
    return window;
}

bool WindowActivationTracker::eventFilter(QObject* watched, QEvent* event)
{
    const bool shown = event->type() == QEvent::Show, activatedNow = event->type() == QEvent::WindowActivate;
    if ((!shown && !activatedNow) || !watched->isWidgetType() || !static_cast<QWidget*>(watched)->isWindow())
        return false;
    QWidget* window = static_cast<QWidget*>(watched);
    // Whether the window system or the program activated it.
    if (activatedNow)
        NoteActivated(window);
    if (window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip)
        return false;
    if (window->parentWidget())
        MoveToEnd(m_fronted, window);
    // The window system's showing of a window restored from the dock leaves the modal order as it was.
    if (shown && !event->spontaneous() && window->isModal())
        MoveToEnd(m_shownModal, window);
    if (!activatedNow)
        return false;
    // The window system activates the window under a panel when the panel in front of it closes, or when the
    // window is brought forward; keys would then reach nothing.
    QWidget* panel = PanelInFront(window);
    if (panel != window)
        QTimer::singleShot(0, panel, [panel] {
            if (panel->isVisible() && QApplication::activeWindow() != panel)
            {
                panel->raise();
                panel->activateWindow();
            }
        });
    return false;
}
