#include "platform/WindowActivationTracker.h"

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace
{

const char* const kDocumentWindowProperty = "corvaneDocumentWindow";

WindowActivationTracker* installed = nullptr;
// Most recently active last; a window that is deleted leaves a null behind, dropped on the next note.
std::vector<QPointer<QWidget>> activated;

QWidget* LastShown(bool documentsOnly)
{
    for (auto it = activated.rbegin(); it != activated.rend(); ++it)
        if (*it && (*it)->isVisible() && (!documentsOnly || WindowActivationTracker::IsDocumentWindow(*it)))
            return *it;
    return nullptr;
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
    activated.clear();
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
    if (!installed || !window)
        return;
    activated.erase(std::remove_if(activated.begin(), activated.end(),
                                   [window](const QPointer<QWidget>& seen) { return !seen || seen == window; }),
                    activated.end());
    activated.emplace_back(window);
}

QWidget* WindowActivationTracker::LastDocumentWindow()
{
    if (QWidget* window = LastShown(true))
        return window;
    // A document window shown but never yet activated (the window system had not answered yet).
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && IsDocumentWindow(window))
            return window;
    return nullptr;
}

QWidget* WindowActivationTracker::LastActiveWindow()
{
    return LastShown(false);
}

bool WindowActivationTracker::eventFilter(QObject* watched, QEvent* event)
{
    // Whether the window system or the program activated it.
    if (event->type() == QEvent::WindowActivate && watched->isWidgetType())
    {
        QWidget* window = static_cast<QWidget*>(watched);
        if (window->isWindow())
            NoteActivated(window);
    }
    return false;
}
