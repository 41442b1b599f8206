#include "records/two_point_save.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_records.h"
#include <stdexcept>

namespace TwoPointSave {

const Layout &LayoutOf(CalibrationArea area)
{
    static const Layout thermometer{CalibrationArea::Thermometer, 5, 16};
    static const Layout zero{CalibrationArea::Zero, 13, 32};
    switch (area) {
    case CalibrationArea::Thermometer:
        return thermometer;
    case CalibrationArea::Zero:
        return zero;
    default:
        throw std::invalid_argument("not a two-point calibration area");
    }
}

void Send(FrameSink &sink, CalibrationArea area, const Points &points)
{
    SendWriteFloat4(sink, LayoutOf(area).pointsRegister, points[0], points[1], points[2], points[3]);
}

QByteArray PointsReadFrame(CalibrationArea area)
{
    return Proto::readFrame(Proto::FnReadParams, LayoutOf(area).pointsRegister, PointsCount);
}

QByteArray CoefficientsReadFrame(CalibrationArea area)
{
    return Proto::readFrame(Proto::FnReadData, LayoutOf(area).coefficientsRegister, CoefficientsCount);
}

void ExpectReadBack(TCalibrationRecords *records, qint64 snapshotId, CalibrationArea area, const Points &points)
{
    if (records)
        records->expectReadBack(snapshotId, area, LayoutOf(area).pointsRegister,
                                TCalibrationRecords::FloatRegisters(QList<float>(points.begin(), points.end())),
                                PointsReadFrame(area));
}

} // namespace TwoPointSave
