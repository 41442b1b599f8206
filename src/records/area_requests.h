#pragma once
// The program's own requests for each calibration area: the reads that fetch it,
// the writes that put raw registers back (the same frames its saves send).
#include "records/calibration_areas.h"
#include <QByteArray>
#include <QList>

struct AreaRead
{
    RegisterSpace space;
    quint16 addr;
    quint16 count;
    QByteArray frame() const;
};

struct AreaWrite
{
    QByteArray frame;
    int extraPauseMs = 0;
};

QList<AreaRead> AreaReads(const QList<CalibrationArea> &areas);
// The writes of a writable area holding these raw registers (as many as the area
// has); none for an area that is not written or a wrong register count.
QList<AreaWrite> AreaWrites(CalibrationArea area, const QVector<quint16> &raw);
// Command 24, which makes the meter recompute its coefficients.
AreaWrite RecalculationWrite();
