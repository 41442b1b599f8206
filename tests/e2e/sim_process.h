#pragma once
// The simulator executable as a child process, for tests that run other programs against it.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>

class SimProcess
{
public:
    explicit SimProcess(const QStringList &args = {});
    ~SimProcess();
    bool ok() const { return !m_path.isEmpty(); }
    QString devicePath() const { return m_path; }
    // With --meters N: every meter's path, first to last (else the one path).
    QStringList devicePaths() const { return m_paths; }
    QString startError() const { return m_error; }
    // With --rig-modbus: the port the rig is served on (0 until then).
    quint16 rigPort() const { return m_rigPort; }

private:
    QProcess m_proc;
    QString m_path;
    QStringList m_paths;
    QString m_error;
    quint16 m_rigPort = 0;
};

struct ProgramRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a program to its end with the given environment overrides; childSetup, when
// given, runs in the child just before the program starts (limits, user). The program
// reads input, then the end of its standard input.
ProgramRun RunProgram(const QString &program, const QStringList &args,
                      const QStringList &env = {}, int timeoutMs = 20000,
                      const std::function<void()> &childSetup = {}, const QByteArray &input = {});
