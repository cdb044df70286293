#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

class QWidget;

// Follows which windows the user was at, for the panels that must stand on one: an alert belongs on a
// document's window, not on Download Atlases or Preferences that happened to be active. A window that becomes
// active while a panel waits on it hands the activation on to the panel, which alone takes keys. One is
// installed at start-up, after the QApplication and on its thread; without it only the active window is
// known. Main thread only.
class WindowActivationTracker : public QObject
{
public:
    // Becomes the one tracker and starts following activations.
    WindowActivationTracker();
    ~WindowActivationTracker() override;
    WindowActivationTracker(const WindowActivationTracker&) = delete;
    WindowActivationTracker& operator=(const WindowActivationTracker&) = delete;

    // Marks a window as a document's.
    static void MarkDocumentWindow(QWidget* window);
    static bool IsDocumentWindow(const QWidget* window);
    // Takes a window that the program brings forward as active now: the window system tells later.
    static void NoteActivated(QWidget* window);
    // The document window active last that is still shown, else any shown; null when none is shown. With
    // minimizedLast, one that is not minimized comes before any that is.
    static QWidget* LastDocumentWindow(bool minimizedLast = false);
    // The window active last that is still shown, of any kind; null when none is.
    static QWidget* LastActiveWindow();
    // The application-modal panel shown last (a question the program waits on), or null. It blocks every
    // window but the modal panels shown after it, whichever window they are on.
    static QWidget* ApplicationModalPanel();
    // The panel that answers the keys meant for a window: the application-modal panel that blocks the
    // window, else the window-modal panel (an alert, a sheet) in front on the window, and the one in front on
    // that in turn; the window itself when no panel waits.
    static QWidget* PanelInFront(QWidget* window);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Windows = std::vector<QPointer<QWidget>>;

    // With minimizedLast, a minimized window only when no other is shown.
    static QWidget* LastShown(bool documentsOnly, bool minimizedLast);
    // The window-modal panel in front on a window, or null.
    static QWidget* ModalPanelOn(const QWidget* window);

    // Most recently active last; a window that is deleted leaves a null behind, dropped on the next note.
    Windows m_activated;
    // Panels, most recently shown or active last: a panel comes in front when it is shown, before the window
    // system activates it.
    Windows m_fronted;
    // Modal panels, most recently shown last: an application-modal panel blocks every window but a modal panel
    // shown after it.
    Windows m_shownModal;
};
