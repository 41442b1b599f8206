#include "e2e/sim_process.h"
#include <QProcessEnvironment>
#include <algorithm>

SimProcess::SimProcess(const QStringList &args)
{
    m_proc.start(QStringLiteral(KESTRO_SIM_PATH), args);
    if (!m_proc.waitForStarted(5000)) {
        m_error = m_proc.errorString();
        return;
    }
    // The first lines of standard output are the device paths, one a meter; with a
    // Modbus rig the next one names its address.
    const auto nextLine = [this]() -> QString {
        while (!m_proc.canReadLine() && m_proc.waitForReadyRead(5000)) {
        }
        return m_proc.canReadLine() ? QString::fromLocal8Bit(m_proc.readLine()).trimmed() : QString();
    };
    const qsizetype metersAt = args.indexOf(QStringLiteral("--meters"));
    const int meters = metersAt >= 0 ? std::max(1, args.value(metersAt + 1).toInt()) : 1;
    QStringList paths;
    for (int k = 0; k < meters; ++k) {
        paths << nextLine();
        if (paths.back().isEmpty()) {
            m_error = QStringLiteral("no path printed: ") + QString::fromLocal8Bit(m_proc.readAllStandardError());
            return;
        }
    }
    if (args.contains(QStringLiteral("--rig-modbus"))) {
        const QString rig = nextLine();
        const QString prefix = QStringLiteral("rig-modbus: 127.0.0.1:");
        bool ok = false;
        const uint port = rig.startsWith(prefix) ? rig.mid(prefix.size()).toUInt(&ok) : 0;
        if (!ok || port == 0 || port > 65535) {
            m_error = QStringLiteral("no rig address printed: ") + rig;
            return;
        }
        m_rigPort = quint16(port);
    }
    m_paths = paths;
    m_path = paths.front();
}

SimProcess::~SimProcess()
{
    m_proc.terminate();
    if (!m_proc.waitForFinished(3000))
        m_proc.kill();
    m_proc.waitForFinished(1000);
}

ProgramRun RunProgram(const QString &program, const QStringList &args, const QStringList &env, int timeoutMs,
                      const std::function<void()> &childSetup, const QByteArray &input)
{
    QProcess p;
    if (childSetup)
        p.setChildProcessModifier(childSetup);
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString &kv : env) {
        const int eq = int(kv.indexOf(QLatin1Char('=')));
        e.insert(kv.left(eq), kv.mid(eq + 1));
    }
    p.setProcessEnvironment(e);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    ProgramRun run;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(1000);
        run.err = QStringLiteral("timed out");
        return run;
    }
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}
