#pragma once
// Relative error against flow for the as-found and as-left points, with the
// tolerance as a shaded band, in the window (the certificate draws its own without
// widgets: report/error_plot_painter).
#include "records/run_record.h"

class QCustomPlot;

// Replaces whatever the plot showed. Graph 0 and 1: the band's edges (+ and −),
// 2: as found, 3: as left.
void PlotRunErrors(QCustomPlot &plot, const RunRecord &run);
