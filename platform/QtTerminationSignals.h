#pragma once

#include <QElapsedTimer>

#include <functional>
#include <memory>

class QSocketNotifier;

// TERM, INT and HUP, the desktop's and the terminal's ways to ask a program to end (a logout, `kill`, Ctrl+C),
// handed to the main thread as a request to quit, so that the program ends as its Quit command does: windows
// closed, bookmarks and settings saved. A signal handler may do next to nothing safely: it writes the signal's
// number into one end of a socket pair, and a notifier on the other end, read by the event loop (nested ones
// too, such as a confirmation's), calls the request once the program is back in its main loop. One instance at
// a time, made on the main thread after the application object; the handlers of before come back when it goes.
class QtTerminationSignals
{
public:
    // Throws std::runtime_error, with the system's reason, when the socket pair cannot be made.
    explicit QtTerminationSignals(std::function<void()> request);
    ~QtTerminationSignals();
    QtTerminationSignals(const QtTerminationSignals&) = delete;
    QtTerminationSignals& operator=(const QtTerminationSignals&) = delete;

private:
    void Drain();
    void RequestFromMainLoop();
    void CloseNestedLoops();

    std::function<void()> m_request;
    int m_sockets[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    // Started by the first signal, and never again: the request is made or on its way.
    QElapsedTimer m_waiting;
};
