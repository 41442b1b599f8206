#include "sim/terminal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <termios.h>
#include <unistd.h>

namespace {
QString errnoText(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

bool openPseudoTerminal(PseudoTerminal *pty, QString *error)
{
    const auto fail = [&](const char *what) {
        const QString text = errnoText(what);
        closePseudoTerminal(pty);
        if (error)
            *error = text;
        return false;
    };
    pty->master = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty->master < 0)
        return fail("posix_openpt");
    if (grantpt(pty->master) != 0)
        return fail("grantpt");
    if (unlockpt(pty->master) != 0)
        return fail("unlockpt");
    char name[128];
    if (ptsname_r(pty->master, name, sizeof name) != 0)
        return fail("ptsname");
    pty->slavePath = QString::fromLocal8Bit(name);
    fcntl(pty->master, F_SETFD, FD_CLOEXEC);
    fcntl(pty->master, F_SETFL, fcntl(pty->master, F_GETFL) | O_NONBLOCK);

    pty->slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->slave < 0)
        return fail("open slave");
    // Raw: no echo of our answers back to us, no line editing, all 8 bits.
    termios tio{};
    if (tcgetattr(pty->slave, &tio) != 0)
        return fail("tcgetattr");
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    if (tcsetattr(pty->slave, TCSANOW, &tio) != 0)
        return fail("tcsetattr");
    return true;
}

void closePseudoTerminal(PseudoTerminal *pty)
{
    if (pty->slave >= 0)
        ::close(pty->slave);
    if (pty->master >= 0)
        ::close(pty->master);
    pty->slave = -1;
    pty->master = -1;
    pty->slavePath.clear();
}

ReadResult readSome(int fd, QByteArray *out, int maxBytes)
{
    char buf[4096];
    const ssize_t n = ::read(fd, buf, size_t(std::min<int>(maxBytes, sizeof buf)));
    if (n > 0) {
        out->append(buf, qsizetype(n));
        return ReadResult::Ok;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return ReadResult::Drained;
    return ReadResult::Failed;
}

qint64 writeSome(int fd, const char *data, qint64 n)
{
    const ssize_t w = ::write(fd, data, size_t(n));
    if (w >= 0)
        return w;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
        return 0;
    return -1;
}

bool pointLinkAt(const QString &link, const QString &target, QString *error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path linkPath(link.toStdString());
    const fs::file_status st = fs::symlink_status(linkPath, ec);
    if (fs::exists(st) && !fs::is_symlink(st)) {
        if (error)
            *error = QStringLiteral("%1 exists and is not a symlink").arg(link);
        return false;
    }
    // A fresh name beside the link, then rename over it: clients never see the
    // link missing or half made.
    fs::path temp = linkPath;
    temp += ".new." + std::to_string(::getpid());
    fs::remove(temp, ec);
    fs::create_symlink(fs::path(target.toStdString()), temp, ec);
    if (!ec)
        fs::rename(temp, linkPath, ec);
    if (ec) {
        const QString why = QString::fromStdString(ec.message());
        fs::remove(temp, ec);
        if (error)
            *error = QStringLiteral("cannot create the link %1: %2").arg(link, why);
        return false;
    }
    return true;
}

void removeLink(const QString &link)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path p(link.toStdString());
    if (fs::is_symlink(fs::symlink_status(p, ec)))
        fs::remove(p, ec);
}
