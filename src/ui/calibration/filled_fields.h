#pragma once
// The typed values of a save, all or nothing: a save never writes a box the
// engineer left empty (a table never read would go to the meter as zeros).
#include "records/calibration_areas.h"
#include <QList>

class QLineEdit;

// Converts the boxes of a calibration area, held in the meter's order (they are
// named as the history window names them: "Q Max", "Эталон 3", ...). A text that
// does not convert raises the conversion error; then, if any box is empty, one
// error names them all.
QList<float> ParseFilledFields(CalibrationArea area, const QList<QLineEdit *> &boxes);
