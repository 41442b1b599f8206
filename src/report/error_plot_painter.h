#pragma once
// The error plot of a run drawn with a plain painter, for a certificate: error (%)
// against flow (% of Q Max), the as-found and as-left points with their U where a
// budget gives one, and the tolerance as a shaded band.
#include "records/run_record.h"
#include <QRectF>

class QPainter;

namespace ErrorPlotPainter {
// Draws into area; unit is the device's pixels per millimetre.
void Draw(QPainter &p, const QRectF &area, double unit, const RunRecord &run);
} // namespace ErrorPlotPainter
