#pragma once
// What a termination signal does to a kestroctl command. By default every event
// loop of the command ends at once (the command cleans up as on a timeout); while
// the meter is being written the signal waits for the write to end; a calibration
// run takes the signal itself and ends as its "abort" does.
#include "tools/signal_watch.h"
#include <QTextStream>
#include <functional>

class CtlInterrupt
{
public:
    explicit CtlInterrupt(QTextStream &err);

    // The first signal's number; 0: none came.
    int signal() const { return m_signal; }
    // The command's own code, or the signal's (128 + its number) when the signal cut
    // the command short; a write the signal waited for answers with its own code.
    int exitCode(int commandCode) const;

    // While set, every signal goes to the handler alone, and the command's own code stands.
    void setHandler(std::function<void(int signo)> handler) { m_handler = std::move(handler); }
    // Sets a handler for as long as it lives.
    class Handler
    {
    public:
        Handler(CtlInterrupt *interrupt, std::function<void(int signo)> handler) : m_interrupt(interrupt)
        {
            if (m_interrupt)
                m_interrupt->setHandler(std::move(handler));
        }
        ~Handler()
        {
            if (m_interrupt)
                m_interrupt->setHandler(nullptr);
        }
        Handler(const Handler &) = delete;
        Handler &operator=(const Handler &) = delete;

    private:
        CtlInterrupt *m_interrupt;
    };

    // Brackets a meter write that must not be cut in the middle.
    class Write
    {
    public:
        Write(CtlInterrupt &interrupt, QString what);
        ~Write();
        Write(const Write &) = delete;
        Write &operator=(const Write &) = delete;

    private:
        CtlInterrupt &m_interrupt;
        QString m_previous;
    };

private:
    void onSignal(int signo);

    QTextStream &m_err;
    TSignalWatch m_watch;
    std::function<void(int)> m_handler;
    QString m_writing; // what is being written; empty: nothing
    int m_signal = 0;
    bool m_waitedForWrite = false;
    bool m_handled = false; // the first signal went to a handler, which answers for it
};
