#include "tools/signal_watch.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int Watched[] = {SIGINT, SIGTERM, SIGHUP};
int g_pipe[2] = {-1, -1};
struct sigaction g_before[3];

// Only async-signal-safe work here: the signal's number down the pipe.
void onSignal(int signo)
{
    const unsigned char c = static_cast<unsigned char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &c, 1);
}

} // namespace

TSignalWatch::TSignalWatch(QObject *parent) : QObject(parent)
{
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_pipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(qintptr(g_pipe[0]), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char buf[16];
        ssize_t n = 0;
        while ((n = ::read(g_pipe[0], buf, sizeof buf)) > 0) {
            for (ssize_t i = 0; i < n; ++i)
                Q_EMIT received(int(buf[i]));
        }
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    m_watching = true;
    for (size_t i = 0; i < std::size(Watched); ++i)
        m_watching = ::sigaction(Watched[i], &sa, &g_before[i]) == 0 && m_watching;
}

TSignalWatch::~TSignalWatch()
{
    if (!m_watching)
        return;
    for (size_t i = 0; i < std::size(Watched); ++i)
        ::sigaction(Watched[i], &g_before[i], nullptr);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

QString TSignalWatch::SignalName(int signo)
{
    switch (signo) {
    case SIGINT: return QStringLiteral("SIGINT (Ctrl-C)");
    case SIGTERM: return QStringLiteral("SIGTERM");
    case SIGHUP: return QStringLiteral("SIGHUP (терминал закрыт)");
    default: return QStringLiteral("сигнал %1").arg(signo);
    }
}

int TSignalWatch::ExitCode(int signo)
{
    return 128 + signo;
}
