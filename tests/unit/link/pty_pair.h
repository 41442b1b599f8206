#pragma once
// A bare pseudo-terminal: the test plays the meter on the master side, the code under
// test opens the slave path like a serial port.
#include <QByteArray>
#include <QString>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

class PtyPair
{
public:
    PtyPair()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
            m_slavePath = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~PtyPair()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return m_master >= 0 && !m_slavePath.isEmpty(); }
    // Writes that would block fail instead (a peer must never hang on a full terminal).
    void setNonBlocking()
    {
        if (m_master >= 0)
            fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    QString slavePath() const { return m_slavePath; }

    bool write(const QByteArray &bytes)
    {
        return m_master >= 0 && ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // What the slave side wrote so far (non-blocking).
    QByteArray readAvailable()
    {
        QByteArray out;
        if (m_master < 0)
            return out;
        const int flags = fcntl(m_master, F_GETFL);
        fcntl(m_master, F_SETFL, flags | O_NONBLOCK);
        char buf[512];
        for (;;) {
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, n);
        }
        fcntl(m_master, F_SETFL, flags);
        return out;
    }

private:
    int m_master = -1;
    QString m_slavePath;
};
