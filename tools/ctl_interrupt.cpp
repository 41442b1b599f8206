#include "tools/ctl_interrupt.h"
#include <QCoreApplication>

CtlInterrupt::CtlInterrupt(QTextStream &err) : m_err(err)
{
    QObject::connect(&m_watch, &TSignalWatch::received, &m_watch, [this](int signo) { onSignal(signo); });
}

int CtlInterrupt::exitCode(int commandCode) const
{
    if (m_signal == 0 || m_waitedForWrite || m_handled)
        return commandCode;
    return TSignalWatch::ExitCode(m_signal);
}

void CtlInterrupt::onSignal(int signo)
{
    const bool first = m_signal == 0;
    if (first)
        m_signal = signo;
    if (m_handler) {
        m_handled = m_handled || first;
        m_handler(signo);
        return;
    }
    if (!m_writing.isEmpty()) {
        m_waitedForWrite = true;
        m_err << "kestroctl: " << TSignalWatch::SignalName(signo) << ": идёт " << m_writing
              << "; программа завершится, когда запись закончится" << Qt::endl;
        return;
    }
    if (!first)
        return;
    m_err << "kestroctl: прервано: " << TSignalWatch::SignalName(signo) << Qt::endl;
    // Every loop the command runs returns now, and any it starts later at once.
    QCoreApplication::exit(TSignalWatch::ExitCode(signo));
}

CtlInterrupt::Write::Write(CtlInterrupt &interrupt, QString what)
    : m_interrupt(interrupt), m_previous(std::exchange(interrupt.m_writing, std::move(what)))
{
}

CtlInterrupt::Write::~Write()
{
    m_interrupt.m_writing = m_previous;
}
