#pragma once
// The operating system side of the simulator: a pseudo-terminal pair, raw byte
// I/O on its master side, and the stable symlink clients open.
#include <QByteArray>
#include <QString>

struct PseudoTerminal
{
    int master = -1;
    int slave = -1; // kept open by the simulator so closing clients cause no hang-up
    QString slavePath;
    bool isOpen() const { return master >= 0; }
};

// Opens a master/slave pair in raw mode; the master is non-blocking.
bool openPseudoTerminal(PseudoTerminal *pty, QString *error);
void closePseudoTerminal(PseudoTerminal *pty);

enum class ReadResult { Ok, Drained, Failed };
// Appends what is available (up to maxBytes); Drained when nothing was waiting.
ReadResult readSome(int fd, QByteArray *out, int maxBytes);
// Writes up to n bytes without blocking; returns bytes written, 0 when the
// terminal cannot take more now, -1 on failure.
qint64 writeSome(int fd, const char *data, qint64 n);

// Points link at target, replacing an older symlink atomically. Refuses to
// replace anything that is not a symlink.
bool pointLinkAt(const QString &link, const QString &target, QString *error);
// Removes link when it is a symlink.
void removeLink(const QString &link);
