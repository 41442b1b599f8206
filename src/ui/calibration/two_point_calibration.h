#pragma once
// Read and save of a two-point calibration (the thermometer's, the zero point's):
// four point boxes written to consecutive parameter registers, two coefficients
// the meter computes on recalculation.
#include "link/own_reads.h"
#include "records/snapshot.h"
#include <QtGlobal>

class QLineEdit;
class QString;
class TCalibrationRecords;
class TDM_1;

struct TwoPointBoxes
{
    QLineEdit *t1, *x1; // point at ~20 °C: temperature, measured value
    QLineEdit *t2, *x2; // point at ~60 °C
    QLineEdit *a, *b;   // coefficients
};

class TTwoPointCalibration
{
public:
    // area: which calibration the boxes hold (names the points in messages and snapshots).
    TTwoPointCalibration(TDM_1 &dm, CalibrationArea area, TwoPointBoxes boxes);

    // Empties the six boxes, then asks for the points and the coefficients.
    void read();
    // Empties the coefficient boxes and asks for them again (after a recalculation);
    // throws LinkError. The read's frame.
    QByteArray readCoefficients();
    // Converts the four points first (a text that does not convert raises the
    // conversion error, empty boxes one error naming them; nothing is sent then),
    // writes them in one frame, then reads back.
    void save();
    // A snapshot before each save and a check of what the meter reports after it.
    void setRecords(TCalibrationRecords *records, SnapshotReason reason);
    // Replies: coefficients (Kf) touch only A and B, points only the four point boxes,
    // and only in answer to this calibration's own reads.
    void showCoefficients(const QString &a, const QString &b);
    void showPoints(const QString &t1, const QString &t2, const QString &x1, const QString &x2);
    const TOwnReads &ownReads() const { return m_reads; }

private:
    void empty();
    void sendReads();

    TDM_1 &m_dm;
    CalibrationArea m_area;
    TwoPointBoxes m_boxes;
    TOwnReads m_reads;
    QByteArray m_pointsRead, m_coefficientsRead;
    TCalibrationRecords *m_records = nullptr;
    SnapshotReason m_reason = SnapshotReason::BeforeThermometerSave;
};
