#include "records/calibration_records.h"
#include "link/meter_link.h"
#include "protocol/number_text.h"
#include <bit>

TCalibrationRecords::TCalibrationRecords(TMeterLink &dm, std::unique_ptr<TRecordStore> store, QObject *parent)
    : QObject(parent), m_dm(dm), m_store(std::move(store))
{
    connect(&dm, &TMeterLink::frameWritten, this, &TCalibrationRecords::onFrameWritten);
    connect(&dm, &TMeterLink::registersTaken, this, &TCalibrationRecords::onRegistersTaken);
    connect(&dm, &TMeterLink::portClosedSignal, this, [this] { m_expected.clear(); });
}

TCalibrationRecords::~TCalibrationRecords() = default;

QVector<quint16> TCalibrationRecords::FloatRegisters(const QList<float> &values)
{
    QVector<quint16> registers;
    for (float v : values) {
        const quint32 bits = std::bit_cast<quint32>(v);
        registers << quint16(bits & 0xFFFF) << quint16(bits >> 16);
    }
    return registers;
}

qint64 TCalibrationRecords::keepBefore(SnapshotReason reason, const QList<CalibrationArea> &areas)
{
    Snapshot s = SnapshotFromImage(m_dm.registerImage(), areas, reason, m_dm.portName());
    s.meterSerial = m_dm.portSerialNumber();
    return keep(s);
}

qint64 TCalibrationRecords::keep(const Snapshot &snapshot)
{
    const qint64 id = m_store->add(snapshot);
    if (id == 0)
        emit snapshotFailed(m_store->lastError());
    else
        emit snapshotKept(id);
    return id;
}

void TCalibrationRecords::expectReadBack(qint64 snapshotId, CalibrationArea area, int firstRegister,
                                         const QVector<quint16> &written, const QByteArray &readBack)
{
    m_expected.append({snapshotId, area, firstRegister, written, readBack, false});
}

void TCalibrationRecords::onFrameWritten(const QByteArray &frame, bool isRead)
{
    // Answers to reads sent before the write may still come: only the read that
    // follows the write counts.
    if (!isRead)
        return;
    for (Expectation &e : m_expected) {
        if (!e.armed && e.readBack == frame) {
            e.armed = true;
            break;
        }
    }
}

void TCalibrationRecords::onRegistersTaken(int space, int first, int count)
{
    for (qsizetype i = 0; i < m_expected.size(); ++i) {
        const Expectation e = m_expected[i];
        if (!e.armed || RegisterSpace(space) != RegisterSpace::Params || first > e.first
            || first + count < e.first + e.written.size())
            continue;
        m_expected.removeAt(i--);
        const auto reported = m_dm.registerImage().range(RegisterSpace::Params, e.first, int(e.written.size()));
        if (!reported || *reported == e.written) {
            emit readBackChecked(e.snapshotId, e.area, reported.has_value());
            continue;
        }
        QStringList differing;
        for (int r = 0; r < e.written.size(); ++r) {
            if ((*reported)[r] != e.written[r])
                differing << QString::number(e.first + r);
        }
        if (e.snapshotId != 0)
            m_store->addRefused(e.snapshotId, e.area, e.written);
        emit readBackRefused(QStringLiteral("Прибор не принял записанные значения (%1): регистры %2 сообщают не то, "
                                            "что было записано. Записанное сохранено при снимке №%3.")
                                 .arg(QString::fromUtf8(AreaSpecOf(e.area).title), differing.join(QStringLiteral(", ")))
                                 .arg(e.snapshotId));
        emit readBackChecked(e.snapshotId, e.area, false);
    }
}
