#pragma once
// The texts a run's result is shown and certified with, one wording for the
// window and the PDF. No widgets here.
#include "records/run_record.h"
#include <QStringList>

namespace RunResultText {

// Column headings of a verification table and one point's cells in their order:
// №, target %, reference, meter, relative error, reduced error, verdict.
QStringList TableHeadings();
QStringList PointCells(const RunPoint &point);
enum Column { Index, Target, Reference, Meter, Relative, Reduced, Verdict, ColumnCount };

// "Как найден: не годен — наибольшая погрешность 4,012 % при допуске ±0,2 %";
// "не проверен" for a phase without a verdict.
QString VerdictLine(const RunRecord &run, RunPhase phase);
// "Калибровка завершена" or how it ended and why.
QString EndLine(const RunRecord &run);
// The rig as its record names it: "Modbus TCP 10.0.0.5:502, устройство 1".
QString RigLine(const RunRecord &run);
// The reference instrument with its certificate and due date; empty when not named.
QString ReferenceLine(const RunRecord &run);
// "20,1 … 21,4 °C" over the points' tube temperatures; empty when none was read.
QString TubeTemperatureRange(const RunRecord &run);
// A coefficient as written to the meter; "—" for none.
QString Coefficient(const std::optional<std::array<float, 4>> &set, int index);
// Local date and time as the program shows them.
QString When(const QDateTime &utc);

} // namespace RunResultText
