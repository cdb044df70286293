#pragma once

#include <QObject>

class QWidget;

// Follows which windows the user was at, for the panels that must stand on one: an alert belongs on a
// document's window, not on Download Atlases or Preferences that happened to be active. One is installed at
// start-up, after the QApplication and on its thread; without it only the active window is known. Main
// thread only.
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
    // The document window active last that is still shown, else any shown; null when none is shown.
    static QWidget* LastDocumentWindow();
    // The window active last that is still shown, of any kind; null when none is.
    static QWidget* LastActiveWindow();

    bool eventFilter(QObject* watched, QEvent* event) override;
};
