#pragma once
// Two states of the meter's calibration side by side, value by value: a float
// spans two registers, the density flag is a word of its own.
#include "records/snapshot.h"
#include <optional>

struct ValueComparison
{
    QString name;      // "Q Max", "Эталон 3", "Термометр A", ...
    QString registers; // "параметры 21–22", "данные 36–37", "параметр 4"
    std::optional<quint32> oldRaw, newRaw; // none where that side does not know the area
    std::optional<double> oldNumber, newNumber;
    bool differs = false;
};

struct AreaComparison
{
    CalibrationArea area = CalibrationArea::Density;
    bool oldKnown = false;
    bool newKnown = false;
    bool differs = false; // a value differs, or one side does not know the area
    QList<ValueComparison> values;
};

// What the area's n-th value is, in words.
QString AreaValueName(CalibrationArea area, int n);

QList<AreaComparison> CompareSnapshots(const Snapshot &older, const Snapshot &newer);
// A number as the engineer reads it, in the locale's format; "—" for none, and
// the non-numbers by name.
QString ComparedNumberText(const std::optional<double> &number);
// One line per differing value, areas that agree in one line each.
QStringList ComparisonLines(const QList<AreaComparison> &comparison);
