#include "tools/ctl_runner.h"
#include "protocol/protokol_usb.h"
#include "tools/ctl_blocks.h"
#include "tools/record_printer.h"

CtlRunner::CtlRunner(TDM_1 &dm, QTextStream &out, QTextStream &err, int timeoutMs)
    : m_dm(dm), m_out(out), m_err(err), m_timeoutMs(timeoutMs)
{
    m_watchdog.setSingleShot(true);
    QObject::connect(&m_watchdog, &QTimer::timeout, &m_loop, [this] {
        m_err << "kestroctl: прибор не ответил за " << m_timeoutMs << " мс" << Qt::endl;
        m_loop.exit(CtlExit::Timeout);
    });
    QObject::connect(&m_dm, &TDM_1::linkRecovered, &m_loop, [this](const QString &status) {
        m_err << "kestroctl: связь с прибором прервалась; команда не завершена (порт после восстановления:" << status
              << ")" << Qt::endl;
        m_loop.exit(CtlExit::CannotOpen);
    });
    QObject::connect(&m_dm, &TDM_1::handlerError, &m_loop, [this](const QString &message) {
        m_err << "kestroctl: " << message << Qt::endl;
    });
    QObject::connect(&m_dm, &TDM_1::permissionDenied, &m_loop, [this](const QString &port) {
        m_denied << port;
        m_err << Discovery::permissionHint(port) << Qt::endl;
    });
}

int CtlRunner::cannotOpenCode() const
{
    return m_denied.isEmpty() ? CtlExit::CannotOpen : CtlExit::NoPermission;
}

CtlRunner::~CtlRunner()
{
    captureAllEvents(nullptr);
}

int CtlRunner::discover()
{
    try {
        const QString text = m_dm.findDevicePort();
        m_out << text << Qt::endl;
    } catch (const LinkError &e) {
        m_err << e.message() << Qt::endl;
        return CtlExit::CannotOpen;
    }
    if (m_dm.isPortOpen())
        return CtlExit::Done;
    return m_denied.isEmpty() ? CtlExit::NoPortFound : CtlExit::NoPermission;
}

bool CtlRunner::connectMeter()
{
    QString text;
    try {
        text = m_dm.findDevicePort();
    } catch (const LinkError &e) {
        text = e.message();
    }
    m_dm.USBWork().FStatusString = text;
    if (m_dm.isPortOpen())
        return true;
    m_err << text << Qt::endl;
    return false;
}

void CtlRunner::captureAllEvents(const std::function<bool(const AnyRecord &)> &onRecord)
{
    auto hook = [this, onRecord](auto &event) {
        if (!onRecord) {
            event = nullptr;
            return;
        }
        event = [this, onRecord](QObject *, const auto &record) { answered(onRecord(AnyRecord(record))); };
    };
    hook(m_dm.OnMainTextChange);
    hook(m_dm.OnSettingTextChange);
    hook(m_dm.OnKalibrTermoChange);
    hook(m_dm.OnKalibrTermoADCChange);
    hook(m_dm.OnKalibr0TermoChange);
    hook(m_dm.OnKalibr0TermoNsChange);
    hook(m_dm.OnKalibrQKoeff);
    hook(m_dm.OnKalibrQNs);
}

void CtlRunner::answered(bool done)
{
    if (done)
        m_loop.exit(CtlExit::Done);
    else
        m_watchdog.start(m_timeoutMs);
}

int CtlRunner::runLoop()
{
    m_watchdog.start(m_timeoutMs);
    const int code = m_loop.exec();
    m_watchdog.stop();
    return code;
}

int CtlRunner::read(const QString &blockName)
{
    const CtlBlock *block = FindCtlBlock(blockName);
    if (!block) {
        m_err << "kestroctl: unknown block '" << blockName << "'; one of: " << CtlBlockNames().join(QStringLiteral(", "))
              << Qt::endl;
        return CtlExit::Usage;
    }
    if (!connectMeter())
        return cannotOpenCode();

    const int expected = int(block->requests.size());
    int received = 0;
    captureAllEvents([&](const AnyRecord &record) {
        for (const QString &line : RecordLines(record))
            m_out << line << '\n';
        m_out.flush();
        return ++received >= expected;
    });
    try {
        for (const CtlRequest &r : block->requests) {
            if (r.params)
                SendReadParams(m_dm, r.addr, r.count);
            else
                SendReadData(m_dm, r.addr, r.count);
        }
    } catch (const LinkError &e) {
        m_err << "kestroctl: " << e.message() << Qt::endl;
        return CtlExit::CannotOpen;
    }
    const int code = runLoop();
    captureAllEvents(nullptr);
    return code;
}

int CtlRunner::live(int count)
{
    if (!connectMeter())
        return cannotOpenCode();

    int printed = 0;
    captureAllEvents([&](const AnyRecord &record) {
        if (const auto *q = std::get_if<TQ_main>(&record)) {
            m_out << LiveLine(*q) << '\n';
            m_out.flush();
            ++printed;
        }
        return count > 0 && printed >= count;
    });

    QTimer poll;
    auto tick = [this] {
        try {
            SendReadData(m_dm, 1, 24);
        } catch (const LinkError &e) {
            m_err << "kestroctl: " << e.message() << Qt::endl;
            m_loop.exit(CtlExit::CannotOpen);
        }
    };
    QObject::connect(&poll, &QTimer::timeout, &m_loop, tick);
    poll.start(LivePeriodMs);
    tick();
    const int code = runLoop();
    poll.stop();
    captureAllEvents(nullptr);
    return code;
}
