#include "ui/calibration/two_point_calibration.h"
#include "link/dm1.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_records.h"
#include "ui/calibration/filled_fields.h"
#include "ui/common/snapshot_guard.h"
#include <QLineEdit>

namespace {
constexpr quint16 PointsCount = 8;       // four floats
constexpr quint16 CoefficientsCount = 4; // two floats
} // namespace

TTwoPointCalibration::TTwoPointCalibration(TDM_1 &dm, CalibrationArea area, quint16 pointsRegister,
                                           quint16 coefficientsRegister, TwoPointBoxes boxes)
    : m_dm(dm), m_area(area), m_points(pointsRegister), m_coefficients(coefficientsRegister), m_boxes(boxes),
      m_reads(dm), m_pointsRead(Proto::readFrame(Proto::FnReadParams, pointsRegister, PointsCount)),
      m_coefficientsRead(Proto::readFrame(Proto::FnReadData, coefficientsRegister, CoefficientsCount))
{
    // What the engineer types wins over an answer still on its way.
    for (QLineEdit *box : {m_boxes.t1, m_boxes.x1, m_boxes.t2, m_boxes.x2})
        QObject::connect(box, &QLineEdit::textEdited, &m_reads, [this] { m_reads.forget(m_pointsRead); });
}

void TTwoPointCalibration::setRecords(TCalibrationRecords *records, SnapshotReason reason)
{
    m_records = records;
    m_reason = reason;
}

void TTwoPointCalibration::empty()
{
    for (QLineEdit *box : {m_boxes.t1, m_boxes.t2, m_boxes.x1, m_boxes.x2, m_boxes.a, m_boxes.b})
        box->clear();
}

void TTwoPointCalibration::sendReads()
{
    m_reads.send(Proto::FnReadParams, m_points, PointsCount);
    m_reads.send(Proto::FnReadData, m_coefficients, CoefficientsCount);
}

QByteArray TTwoPointCalibration::readCoefficients()
{
    m_boxes.a->clear();
    m_boxes.b->clear();
    return m_reads.send(Proto::FnReadData, m_coefficients, CoefficientsCount);
}

void TTwoPointCalibration::read()
{
    empty();
    m_dm.sendUnderRecoveryRule([this] { sendReads(); });
}

void TTwoPointCalibration::save()
{
    if (!m_dm.isPortOpen()) {
        m_dm.applyRecoveryRule();
        return;
    }
    const QList<float> typed = ParseFilledFields(m_area, {m_boxes.t1, m_boxes.x1, m_boxes.t2, m_boxes.x2});
    const float t1 = typed[0], x1 = typed[1], t2 = typed[2], x2 = typed[3];
    const std::optional<qint64> snapshot = KeepSnapshotOrAsk(m_records, m_reason, {m_area}, m_boxes.t1->window());
    if (!snapshot)
        return;
    m_dm.sendUnderRecoveryRule([&] {
        SendWriteFloat4(m_dm, m_points, t1, x1, t2, x2);
        if (m_records)
            m_records->expectReadBack(*snapshot, m_area, m_points, TCalibrationRecords::FloatRegisters({t1, x1, t2, x2}),
                                      Proto::readFrame(Proto::FnReadParams, m_points, PointsCount));
        // What the meter now holds refills the boxes.
        empty();
        sendReads();
    });
}

void TTwoPointCalibration::showCoefficients(const QString &a, const QString &b)
{
    if (!m_reads.take(m_coefficientsRead))
        return;
    m_boxes.a->setText(a);
    m_boxes.b->setText(b);
}

void TTwoPointCalibration::showPoints(const QString &t1, const QString &t2, const QString &x1, const QString &x2)
{
    if (!m_reads.take(m_pointsRead))
        return;
    m_boxes.t1->setText(t1);
    m_boxes.t2->setText(t2);
    m_boxes.x1->setText(x1);
    m_boxes.x2->setText(x2);
}
