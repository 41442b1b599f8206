#pragma once
// The termination signals (interrupt, terminate, hang-up) as a Qt signal, delivered
// from the event loop: a handler may do anything a slot may. The program decides what
// a signal means where it is; without a watcher the system's default applies.
#include <QObject>
#include <QString>

class TSignalWatch : public QObject
{
    Q_OBJECT
public:
    // Takes over SIGINT, SIGTERM and SIGHUP for as long as it lives (one at a time).
    explicit TSignalWatch(QObject *parent = nullptr);
    ~TSignalWatch() override;
    bool watching() const { return m_watching; }

    // "SIGINT (Ctrl-C)", "SIGTERM", "SIGHUP (терминал закрыт)".
    static QString SignalName(int signo);
    // The shell's code for a program ended by the signal: 128 + its number.
    static int ExitCode(int signo);

Q_SIGNALS:
    void received(int signo);

private:
    bool m_watching = false;
};
