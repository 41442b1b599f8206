#include "ui/result/run_error_plot.h"
#include <qcustomplot.h>
#include <algorithm>

namespace {

void addPhase(QCustomPlot &plot, const RunRecord &run, RunPhase phase, const QColor &colour, QCPScatterStyle::ScatterShape shape,
              double &top)
{
    QVector<double> flow, error;
    QList<RunPoint> points = run.pointsOf(phase);
    std::sort(points.begin(), points.end(), [](const RunPoint &a, const RunPoint &b) { return a.referenceFlow < b.referenceFlow; });
    for (const RunPoint &p : points) {
        if (!p.relativeError)
            continue;
        flow << p.referenceFlow;
        error << *p.relativeError;
        top = std::max(top, std::abs(*p.relativeError));
    }
    QCPGraph *graph = plot.addGraph();
    QString name = PhaseTitle(phase);
    name[0] = name[0].toUpper();
    graph->setName(name);
    graph->setPen(QPen(colour, 2));
    graph->setScatterStyle(QCPScatterStyle(shape, colour, colour, 7));
    graph->setData(flow, error, true);
}

} // namespace

void PlotRunErrors(QCustomPlot &plot, const RunRecord &run)
{
    plot.clearGraphs();
    double right = run.qMax > 0 ? double(run.qMax) : 0;
    for (const RunPoint &p : run.points)
        right = std::max(right, p.referenceFlow);
    right = right > 0 ? right * 1.05 : 1;
    const double band = run.tolerancePercent;

    // The band: the upper edge filled down to the lower one.
    const QColor bandColour(46, 139, 87);
    QCPGraph *upper = plot.addGraph();
    QCPGraph *lower = plot.addGraph();
    upper->setName(QStringLiteral("Допуск ±%1 %").arg(QLocale().toString(band, 'g', 6)));
    for (QCPGraph *edge : {upper, lower})
        edge->setPen(QPen(bandColour, 1, Qt::DashLine));
    upper->setData({0, right}, {band, band}, true);
    lower->setData({0, right}, {-band, -band}, true);
    upper->setBrush(QColor(bandColour.red(), bandColour.green(), bandColour.blue(), 50));
    upper->setChannelFillGraph(lower);
    lower->removeFromLegend();

    double top = band;
    addPhase(plot, run, RunPhase::AsFound, QColor(200, 40, 40), QCPScatterStyle::ssCircle, top);
    addPhase(plot, run, RunPhase::AsLeft, QColor(30, 80, 200), QCPScatterStyle::ssDiamond, top);

    plot.xAxis->setLabel(QStringLiteral("Расход, кг/ч"));
    plot.yAxis->setLabel(QStringLiteral("Относительная погрешность, %"));
    plot.xAxis->setRange(0, right);
    top = top > 0 ? top * 1.15 : 1;
    plot.yAxis->setRange(-top, top);
    plot.legend->setVisible(true);
    plot.axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignRight);
    plot.replot();
}
