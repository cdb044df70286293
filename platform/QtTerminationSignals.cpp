#include "platform/QtTerminationSignals.h"

#include <QApplication>
#include <QDrag>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kWaitMs = 20;
// A panel that will not close, or a loop that will not end, does not keep the program up longer than this.
constexpr qint64 kMostWaitMs = 5000;

// The write end, read by the handler; -1 while no instance exists.
volatile std::sig_atomic_t writeEnd = -1;

void Handle(int signal)
{
    const int saved = errno;
    const char number = static_cast<char>(signal);
    // Non-blocking: a burst of signals that fills the socket loses only the ones after the first.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &number, 1);
    errno = saved;
}

// What each signal did before: restored when the instance goes.
struct sigaction previous[std::size(kSignals)];

// A signal that the program was started with ignored (`nohup`, or INT for a job started in the background by
// a script) stays ignored: whoever started it asked for that.
void Install()
{
    struct sigaction action = {};
    action.sa_handler = Handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
    {
        sigaction(kSignals[i], nullptr, &previous[i]);
        if (previous[i].sa_handler != SIG_IGN)
            sigaction(kSignals[i], &action, nullptr);
    }
}

void Restore()
{
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &previous[i], nullptr);
}

} // namespace

QtTerminationSignals::QtTerminationSignals(std::function<void()> request)
    : m_request(std::move(request))
{
    if (writeEnd != -1)
        throw std::logic_error("Termination signals are handled already");
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_sockets) != 0)
        throw std::runtime_error(std::string("Could not make the socket pair for termination signals: ") +
                                 std::strerror(errno));
    m_notifier = std::make_unique<QSocketNotifier>(m_sockets[1], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { Drain(); });
    writeEnd = m_sockets[0];
    Install();
}

QtTerminationSignals::~QtTerminationSignals()
{
    Restore();
    writeEnd = -1;
    m_notifier.reset();
    ::close(m_sockets[0]);
    ::close(m_sockets[1]);
}

void QtTerminationSignals::Drain()
{
    char numbers[64];
    bool received = false;
    while (::read(m_sockets[1], numbers, sizeof numbers) > 0)
        received = true;
    // However many signals came, and however late, one request: the program is ending already.
    if (received && !m_waiting.isValid())
    {
        m_waiting.start();
        RequestFromMainLoop();
    }
}

// A modal panel, a context menu and a drag each run an event loop of their own, and the code that started
// it goes on only once it returns: windows closed under it would leave that code with nothing to go on with.
// So each is ended as Escape ends it (a confirmation's default is "No"), and the request waits until the
// nested loops have returned to the main one.
void QtTerminationSignals::RequestFromMainLoop()
{
    const bool nested = QApplication::activeModalWidget() || QApplication::activePopupWidget() ||
                        QThread::currentThread()->loopLevel() > 1;
    if (nested && !m_waiting.hasExpired(kMostWaitMs))
    {
        CloseNestedLoops();
        QTimer::singleShot(kWaitMs, m_notifier.get(), [this] { RequestFromMainLoop(); });
        return;
    }
    m_request();
}

void QtTerminationSignals::CloseNestedLoops()
{
    QDrag::cancel();
    // A pop-up that will not close is left to the bound.
    while (QWidget* const popUp = QApplication::activePopupWidget())
        if (!popUp->close())
            break;
    if (QWidget* const modal = QApplication::activeModalWidget())
        modal->close();
}
