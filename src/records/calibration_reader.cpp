#include "records/calibration_reader.h"
#include "link/meter_link.h"

TCalibrationReader::TCalibrationReader(TMeterLink &dm, int answerTimeoutMs, QObject *parent) : QObject(parent), m_dm(dm)
{
    m_watchdog.setSingleShot(true);
    m_watchdog.setInterval(answerTimeoutMs);
    connect(&m_watchdog, &QTimer::timeout, this, &TCalibrationReader::onSilence);
    connect(&dm, &TMeterLink::frameWritten, this, &TCalibrationReader::onFrameWritten);
    connect(&dm, &TMeterLink::registersTaken, this, &TCalibrationReader::onRegistersTaken);
    connect(&dm, &TMeterLink::portClosedSignal, this, [this] {
        if (m_running)
            fail(QStringLiteral("Связь с прибором потеряна во время чтения"));
    });
}

void TCalibrationReader::start(const QList<CalibrationArea> &areas)
{
    m_areas = areas;
    m_pending.clear();
    for (const AreaRead &read : AreaReads(areas))
        m_pending.append({read, read.frame(), false});
    m_total = int(m_pending.size());
    m_retriesLeft = 1;
    m_running = true;
    emit progress(0, m_total);
    sendPending();
}

void TCalibrationReader::cancel()
{
    m_running = false;
    m_watchdog.stop();
    m_pending.clear();
}

void TCalibrationReader::sendPending()
{
    if (!m_dm.isPortOpen()) {
        fail(QStringLiteral("Порт прибора не открыт"));
        return;
    }
    try {
        for (Pending &p : m_pending) {
            p.sent = false;
            m_dm.sendFrame(p.frame, FrameKind::CountedRead);
        }
    } catch (const LinkError &e) {
        fail(e.message());
        return;
    }
    m_watchdog.start();
}

void TCalibrationReader::onFrameWritten(const QByteArray &frame, bool isRead)
{
    if (!m_running || !isRead)
        return;
    for (Pending &p : m_pending) {
        if (!p.sent && p.frame == frame) {
            p.sent = true;
            break;
        }
    }
}

void TCalibrationReader::onRegistersTaken(int space, int first, int count)
{
    if (!m_running)
        return;
    const qsizetype before = m_pending.size();
    m_pending.removeIf([&](const Pending &p) {
        return p.sent && int(p.read.space) == space && first <= p.read.addr && p.read.addr + p.read.count <= first + count;
    });
    if (m_pending.size() == before)
        return;
    m_watchdog.start();
    emit progress(m_total - int(m_pending.size()), m_total);
    if (m_pending.isEmpty()) {
        m_running = false;
        m_watchdog.stop();
        emit finished();
    }
}

void TCalibrationReader::onSilence()
{
    if (!m_running)
        return;
    if (m_retriesLeft-- > 0) {
        sendPending();
        return;
    }
    fail(QStringLiteral("Прибор не отвечает: нет ответа на %1 из %2 запросов").arg(m_pending.size()).arg(m_total));
}

void TCalibrationReader::fail(const QString &message)
{
    m_running = false;
    m_watchdog.stop();
    m_pending.clear();
    emit failed(message);
}

Snapshot TCalibrationReader::snapshot(SnapshotReason reason, const QString &note) const
{
    Snapshot s = SnapshotFromImage(m_dm.registerImage(), m_areas, reason, m_dm.portName(), note);
    s.meterSerial = m_dm.portSerialNumber();
    return s;
}
