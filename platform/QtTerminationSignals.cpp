#include "platform/QtTerminationSignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <iterator>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kWaitMs = 20;
// About five seconds: a panel that will not close, or a loop that will not end, does not keep the program up.
constexpr int kMostWaits = 250;

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
        throw std::runtime_error("Could not make the socket pair for termination signals");
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
    // However many signals came, one request: quitting twice is no different from quitting once.
    if (received && m_waits == 0)
        RequestFromMainLoop();
}

// A modal panel runs an event loop of its own, and the code that raised it goes on only once it is answered:
// windows closed under it would leave that code with nothing to go on with. So each panel is answered with
// its default (as Escape does: "No" for a confirmation), and the request waits until the nested loops have
// returned to the main one.
void QtTerminationSignals::RequestFromMainLoop()
{
    if (m_waits < kMostWaits)
    {
        QWidget* const modal = QApplication::activeModalWidget();
        if (modal || QThread::currentThread()->loopLevel() > 1)
        {
            if (modal)
                modal->close();
            ++m_waits;
            QTimer::singleShot(kWaitMs, m_notifier.get(), [this] { RequestFromMainLoop(); });
            return;
        }
    }
    m_waits = 0;
    m_request();
}
