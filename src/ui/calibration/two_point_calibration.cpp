#include "ui/calibration/two_point_calibration.h"
#include "link/dm1.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_records.h"
#include "records/two_point_save.h"
#include "ui/calibration/filled_fields.h"
#include "ui/common/snapshot_guard.h"
#include <QLineEdit>

using TwoPointSave::CoefficientsCount;
using TwoPointSave::PointsCount;

TTwoPointCalibration::TTwoPointCalibration(TDM_1 &dm, CalibrationArea area, TwoPointBoxes boxes)
    : m_dm(dm), m_area(area), m_boxes(boxes), m_reads(dm), m_pointsRead(TwoPointSave::PointsReadFrame(area)),
      m_coefficientsRead(TwoPointSave::CoefficientsReadFrame(area))
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
    const TwoPointSave::Layout &at = TwoPointSave::LayoutOf(m_area);
    m_reads.send(Proto::FnReadParams, at.pointsRegister, PointsCount);
    m_reads.send(Proto::FnReadData, at.coefficientsRegister, CoefficientsCount);
}

QByteArray TTwoPointCalibration::readCoefficients()
{
    m_boxes.a->clear();
    m_boxes.b->clear();
    return m_reads.send(Proto::FnReadData, TwoPointSave::LayoutOf(m_area).coefficientsRegister, CoefficientsCount);
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
    const TwoPointSave::Points points{typed[0], typed[1], typed[2], typed[3]};
    const std::optional<qint64> snapshot = KeepSnapshotOrAsk(m_records, m_reason, {m_area}, m_boxes.t1->window());
    if (!snapshot)
        return;
    m_dm.sendUnderRecoveryRule([&] {
        TwoPointSave::Send(m_dm, m_area, points);
        TwoPointSave::ExpectReadBack(m_records, *snapshot, m_area, points);
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
