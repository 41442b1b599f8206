#pragma once
// kestroctl's text of a run's metrology: the points' U, repeatability and runs, the
// decision rule, the reference, the zero at no flow and the largest budget. Numbers
// with a point, as the rest of kestroctl's output; nothing for a record without.
#include "records/run_record.h"
#include <QStringList>

namespace RunPrinter {

// The verdict under the run's rule where the record has one, else the fit; "-" for none.
QString PointVerdict(const RunPoint &point);
QString PhaseVerdict(const RunRecord &run, RunPhase phase);

// Some verification point of the run has metrology: the tables get its columns.
bool HasPointMetrology(const RunRecord &run);
// The columns' headings and a point's cells, tab-separated: U, repeatability, runs.
QString PointHeadings();
QString PointCells(const RunPoint &point);


// The rule, the undetermined points, the reference, the zero check and the largest
// budget (one line per component), each only when the record has it.
QStringList MetrologyLines(const RunRecord &run);

} // namespace RunPrinter
