#pragma once
// Relative error against flow for the as-found and as-left points, with the
// tolerance as a shaded band: the same picture in the window and the PDF.
#include "records/run_record.h"

class QCustomPlot;

// Replaces whatever the plot showed. Graph 0 and 1: the band's edges (+ and −),
// 2: as found, 3: as left.
void PlotRunErrors(QCustomPlot &plot, const RunRecord &run);
