#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QEventLoop>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

// Runs the event loop (deferred deletions included) until done() holds or timeoutMs pass; answers done().
// The events handled as the loop ends can undo what done() saw (a window system's late activation, which the
// program then hands back): the wait goes on until done() still holds once the loop has ended.
inline bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(2);
    for (;;)
    {
        loop.exec();
        if (done())
            return true;
        if (clock.elapsed() > timeoutMs)
            return false;
    }
}

inline void RunEventsFor(int ms)
{
    RunEventsUntil([] { return false; }, ms);
}

// The messages Qt prints (warnings and the like) while it lives, kept instead of printed.
class QtMessageRecorder
{
public:
    QtMessageRecorder()
        : m_previous(qInstallMessageHandler(&Record))
    {
        Active() = this;
    }
    ~QtMessageRecorder()
    {
        Active() = nullptr;
        qInstallMessageHandler(m_previous);
    }
    QtMessageRecorder(const QtMessageRecorder&) = delete;
    QtMessageRecorder& operator=(const QtMessageRecorder&) = delete;

    // The messages that hold the piece of text.
    std::vector<std::string> Containing(const std::string& piece) const
    {
        std::vector<std::string> found;
        for (const std::string& message : messages)
            if (message.find(piece) != std::string::npos)
                found.push_back(message);
        return found;
    }

    std::vector<std::string> messages;

private:
    static QtMessageRecorder*& Active()
    {
        static QtMessageRecorder* active = nullptr;
        return active;
    }
    static void Record(QtMsgType, const QMessageLogContext&, const QString& text)
    {
        if (Active())
            Active()->messages.push_back(text.toStdString());
    }

    QtMessageHandler m_previous;
};
