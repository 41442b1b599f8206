#pragma once
// The texts a run's result is shown and certified with, one wording for the
// window and the PDF. No widgets here.
#include "procedure/point_metrology.h"
#include "records/run_record.h"
#include <QStringList>

namespace RunResultText {

// A flow or an error as every run page shows it: the locale's decimal mark, three
// places ("1000,122").
QString Fixed3(double value);

// A point's error as the run page lists it: where the set point is 0 the reduced
// error ("0,012 % привед."), as the verification tab reads it, since a reference at
// noise level makes any relative error huge; else the relative one. Empty: none.
QString PointError(const RunPoint &point);

// The columns a run's metrology adds to its tables, each only when some verification
// point of the run has it, so an older record's tables stay as they were.
struct TableColumns
{
    bool uncertainty = false;   // "± U, %"
    bool repeatability = false; // "Повтор., %"
    bool runs = false;          // "Измерений"
};
TableColumns ColumnsOf(const RunRecord &run);

// Column headings of a verification table and one point's cells in their order:
// №, target %, reference, meter, relative error, reduced error, the extra columns,
// verdict (always the last).
QStringList TableHeadings(const TableColumns &extra = {});
QStringList PointCells(const RunPoint &point, const TableColumns &extra = {});
enum Column { Index, Target, Reference, Meter, Relative, Reduced };

// A phase's verdict: its conformity under the run's rule where the record has one,
// else its fit (a point's: RecordedConformity).
std::optional<Conformity> PhaseConformity(const RunRecord &run, RunPhase phase);

// "Как найден: не годен — наибольшая погрешность 4,012 % при допуске ±0,2 %";
// "не проверен" for a phase without a verdict, "не определено" when the rule left it open.
QString VerdictLine(const RunRecord &run, RunPhase phase);
// "Калибровка завершена" or how it ended and why.
QString EndLine(const RunRecord &run);
// The rig as its record names it: "Modbus TCP 10.0.0.5:502, устройство 1".
QString RigLine(const RunRecord &run);
// The reference instrument with its certificate, its U and k where the run's metrology
// names them, and its due date; empty when not named.
QString ReferenceLine(const RunRecord &run);
// "20,1 … 21,4 °C" over the points' tube temperatures; empty when none was read.
QString TubeTemperatureRange(const RunRecord &run);
// The meter's density readings over the flow points, "998,2 … 998,4 кг/м³"; empty: none.
QString DensityRange(const RunRecord &run);
// A coefficient as written to the meter; "—" for none.
QString Coefficient(const std::optional<std::array<float, 4>> &set, int index);
// A float as written to the meter: the fewest digits that read back as it.
QString FloatText(float value);

// A check point's error with its unit: °C for the thermometer, ns for the zero.
QString TemperatureError(const RunPoint &point);
// "эталон 20,012 °C, трубка 20,050 °C, погрешность 0,038 °C — годен"; empty for a flow point.
QString TemperaturePointText(const RunPoint &point);

// The thermometer and the zero by temperature as the result shows them, each only when
// the record has it: before and written (the two points, then A and B), whether it was
// written, and the check points with their errors.
struct AdjustmentSection
{
    QString title;               // "Термометр", "Ноль по температуре"
    QString line;                // "записан в прибор; проверка: годен"
    std::optional<bool> fits;    // the check's verdict, for the line's colour
    QList<QStringList> rows;     // under AdjustmentHeadings()
    QList<QStringList> checks;   // under CheckHeadings()
    QList<bool> checkUnfit;      // per check row
};
QStringList AdjustmentHeadings();
QStringList CheckHeadings();
QList<AdjustmentSection> AdjustmentSections(const RunRecord &run);

// Local date and time as the program shows them.
QString When(const QDateTime &utc);

} // namespace RunResultText
