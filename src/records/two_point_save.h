#pragma once
// The save of a two-point calibration (the thermometer's, the zero point's), shared by
// its tab and calibration runs: the four point values in one write of consecutive
// parameter registers, and the read-back check armed for the points' read after it.
#include "records/calibration_areas.h"
#include "protocol/frame_sink.h"
#include <QByteArray>
#include <array>

class TCalibrationRecords;

namespace TwoPointSave {

// Where a two-point calibration lies: its points (parameters) and the two coefficients
// the meter computes from them on recalculation (data).
struct Layout
{
    CalibrationArea area;
    quint16 pointsRegister;
    quint16 coefficientsRegister;
};
constexpr quint16 PointsCount = 8;       // four floats
constexpr quint16 CoefficientsCount = 4; // two floats
// Thermometer or Zero.
const Layout &LayoutOf(CalibrationArea area);

// In register order: the point at ~20 °C (temperature, measured value), then at ~60 °C.
using Points = std::array<float, 4>;

void Send(FrameSink &sink, CalibrationArea area, const Points &points);
QByteArray PointsReadFrame(CalibrationArea area);
QByteArray CoefficientsReadFrame(CalibrationArea area);
// Arms the records' check of the written points against the answer to PointsReadFrame
// sent after this call (records may be null: no check).
void ExpectReadBack(TCalibrationRecords *records, qint64 snapshotId, CalibrationArea area, const Points &points);

} // namespace TwoPointSave
