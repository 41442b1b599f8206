#pragma once
// What a restore did to each area, decided from what the meter reports afterwards
// (never from what was sent), and the words the engineer reads about it.
#include "records/calibration_areas.h"
#include <QMap>
#include <QStringList>

enum class AreaRestoreState {
    Written,    // the meter reports the snapshot's registers
    Partial,    // some of the registers that were to change did
    NotWritten, // none did, or nothing of the area left the computer
    Unchecked,  // frames went out but no read-back could be had
};

QString RestoreStateTitle(AreaRestoreState state); // "записано", "частично", ...

// An area's state from its registers before the restore, in the snapshot and now.
AreaRestoreState DecideAreaState(const QVector<quint16> &before, const QVector<quint16> &target,
                                 const QVector<quint16> &now);

// Registers of the computed coefficients that follow from an area's points (none
// for an area the meter computes nothing from), as indices into the coefficients area.
QList<int> CoefficientIndicesOf(CalibrationArea area);

// The register number at this index of an area's registers (range order).
int AreaRegisterAt(CalibrationArea area, int index);

// "записано: Термометр; частично: Калибровка расхода; не записано: ..." in the
// order of the states, each state only when some area is in it.
QString StatesSummary(const QList<CalibrationArea> &areas, const QMap<CalibrationArea, AreaRestoreState> &states);
