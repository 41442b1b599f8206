#pragma once
// The meter's calibration as areas of registers: what a snapshot keeps, what a
// restore puts back. One table; everything else walks it.
#include "link/register_image.h"
#include <QString>
#include <vector>

enum class CalibrationArea {
    Density,      // fixed density and its flag: parameters 2–4
    Thermometer,  // the thermometer's two points: parameters 5–12
    Zero,         // the zero points: parameters 13–20
    FlowTable,    // Q Max and the thirteen flow points: parameters 21–74
    Coefficients, // what the meter computed: data 16–19, 32–35, 36–43 (never written)
};

struct RegisterRange
{
    RegisterSpace space;
    int first;
    int count;
};

struct AreaSpec
{
    CalibrationArea area;
    const char *key;   // stable name in files and the database
    const char *title; // what the engineer reads
    std::vector<RegisterRange> ranges;
    bool writable;
    int registerCount() const;
};

const std::vector<AreaSpec> &CalibrationAreas();
QList<CalibrationArea> AllCalibrationAreas();
QList<CalibrationArea> WritableCalibrationAreas();
const AreaSpec &AreaSpecOf(CalibrationArea area);
const AreaSpec *AreaSpecByKey(const QString &key);

// The area's registers as the image holds them, in range order; none unless every
// one is known.
std::optional<QVector<quint16>> AreaFromImage(const TRegisterImage &image, CalibrationArea area);
