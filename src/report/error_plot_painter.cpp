#include "report/error_plot_painter.h"
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace ErrorPlotPainter {

namespace {

struct Series
{
    RunPhase phase;
    QColor colour;
    bool diamond;
};
const Series Phases[] = {{RunPhase::AsFound, QColor(190, 40, 40), false}, {RunPhase::AsLeft, QColor(30, 80, 190), true}};

double flowPercent(const RunRecord &run, const RunPoint &p)
{
    return run.qMax > 0 ? p.referenceFlow / double(run.qMax) * 100.0 : p.targetPercent;
}

QString tick(double v, double step)
{
    const int decimals = std::max(0, int(std::ceil(-std::log10(step) - 1e-9)));
    return QLocale().toString(std::abs(v) < step * 1e-6 ? 0.0 : v, 'f', decimals);
}

void marker(QPainter &p, QPointF at, double r, bool diamond)
{
    if (!diamond) {
        p.drawEllipse(at, r, r);
        return;
    }
    const QPointF d[] = {at + QPointF(0, -r * 1.3), at + QPointF(r * 1.3, 0), at + QPointF(0, r * 1.3), at + QPointF(-r * 1.3, 0)};
    p.drawPolygon(d, 4);
}

// A round step for about count intervals over span: 1, 2 or 5 times a power of ten.
double NiceStep(double span, int count)
{
    if (!(span > 0) || count < 1)
        return 1;
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * power >= raw * (1 - 1e-9))
            return m * power;
    }
    return 10 * power;
}

} // namespace

void Draw(QPainter &p, const QRectF &area, double unit, const RunRecord &run)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("DejaVu Sans"), 7);
    p.setFont(font);
    const QFontMetricsF fm(font, p.device());

    // The ranges: 0..100 % at least, the errors with their U and the band inside.
    double left = 0, right = 100, top = run.tolerancePercent > 0 ? run.tolerancePercent : 0.1;
    for (const Series &s : Phases) {
        for (const RunPoint &pt : run.pointsOf(s.phase)) {
            left = std::min(left, flowPercent(run, pt));
            right = std::max(right, flowPercent(run, pt));
            if (pt.relativeError)
                top = std::max(top, std::abs(*pt.relativeError) + (pt.metrology.budget ? pt.metrology.budget->expandedPercent : 0));
        }
    }
    const double xStep = NiceStep(right - left, 10);
    left = std::floor(left / xStep) * xStep;
    right = std::ceil(right / xStep) * xStep;
    const double yStep = NiceStep(2 * top * 1.1, 8);
    top = std::ceil(top * 1.1 / yStep) * yStep;

    // The legend takes a line above the frame, so that it never hides a point.
    const QRectF plot = area.adjusted(fm.height() + fm.horizontalAdvance(QStringLiteral("−00,00")) + 4 * unit,
                                      fm.height() * 1.6, -2 * unit, -(2 * fm.height() + 3 * unit));
    // Points at the range's ends sit inside the frame, not on it.
    const double inset = 2.5 * unit;
    auto X = [&](double v) { return plot.left() + inset + (v - left) / (right - left) * (plot.width() - 2 * inset); };
    auto Y = [&](double v) { return plot.bottom() - (v + top) / (2 * top) * plot.height(); };

    // The band, then the grid over it, thin, then the frame.
    const QColor band(46, 139, 87);
    p.fillRect(QRectF(QPointF(plot.left(), Y(run.tolerancePercent)), QPointF(plot.right(), Y(-run.tolerancePercent))),
               QColor(band.red(), band.green(), band.blue(), 40));
    p.setPen(QPen(QColor(200, 200, 200), 0.15 * unit));
    for (double x = left; x <= right + xStep * 1e-6; x += xStep)
        p.drawLine(QPointF(X(x), plot.top()), QPointF(X(x), plot.bottom()));
    for (double y = -top; y <= top + yStep * 1e-6; y += yStep)
        p.drawLine(QPointF(plot.left(), Y(y)), QPointF(plot.right(), Y(y)));
    p.setPen(QPen(band, 0.3 * unit, Qt::DashLine));
    for (double edge : {run.tolerancePercent, -run.tolerancePercent})
        p.drawLine(QPointF(plot.left(), Y(edge)), QPointF(plot.right(), Y(edge)));
    p.setPen(QPen(QColor(120, 120, 120), 0.2 * unit));
    p.drawLine(QPointF(plot.left(), Y(0)), QPointF(plot.right(), Y(0)));
    p.setPen(QPen(Qt::black, 0.25 * unit));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);

    // Tick labels and the axes' names.
    for (double x = left; x <= right + xStep * 1e-6; x += xStep)
        p.drawText(QRectF(X(x) - 10 * unit, plot.bottom() + unit, 20 * unit, fm.height()), Qt::AlignHCenter | Qt::AlignTop, tick(x, xStep));
    for (double y = -top; y <= top + yStep * 1e-6; y += yStep)
        p.drawText(QRectF(area.left() + fm.height(), Y(y) - fm.height() / 2, plot.left() - area.left() - fm.height() - unit, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, tick(y, yStep));
    p.drawText(QRectF(plot.left(), plot.bottom() + unit + fm.height(), plot.width(), fm.height() + 2 * unit), Qt::AlignHCenter | Qt::AlignBottom,
               QStringLiteral("Расход, % Q Max"));
    p.save();
    p.translate(area.left(), plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot.height() / 2, 0, plot.height(), fm.height()), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("Погрешность, %"));
    p.restore();

    // The points: lines between them in order of flow, U as whiskers.
    const double r = 0.9 * unit;
    for (const Series &s : Phases) {
        QList<RunPoint> points = run.pointsOf(s.phase);
        points.erase(std::remove_if(points.begin(), points.end(), [](const RunPoint &pt) { return !pt.relativeError; }), points.end());
        std::sort(points.begin(), points.end(), [&](const RunPoint &a, const RunPoint &b) { return flowPercent(run, a) < flowPercent(run, b); });
        QPainterPath line;
        for (const RunPoint &pt : points) {
            const QPointF at(X(flowPercent(run, pt)), Y(*pt.relativeError));
            if (line.elementCount() == 0)
                line.moveTo(at);
            else
                line.lineTo(at);
        }
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(s.colour, 0.3 * unit));
        p.drawPath(line);
        for (const RunPoint &pt : points) {
            const QPointF at(X(flowPercent(run, pt)), Y(*pt.relativeError));
            if (pt.metrology.budget) {
                const double u = pt.metrology.budget->expandedPercent;
                p.drawLine(QPointF(at.x(), Y(*pt.relativeError + u)), QPointF(at.x(), Y(*pt.relativeError - u)));
                for (double e : {u, -u})
                    p.drawLine(QPointF(at.x() - r, Y(*pt.relativeError + e)), QPointF(at.x() + r, Y(*pt.relativeError + e)));
            }
            p.setBrush(s.colour);
            marker(p, at, r, s.diamond);
        }
    }

    // The legend in one line above the frame, from the right.
    const QStringList names{QStringLiteral("Как найден"), QStringLiteral("Как оставлен"),
                            QStringLiteral("Допуск ±%1 %").arg(QLocale().toString(run.tolerancePercent, 'g', 6))};
    const double mid = plot.top() - fm.height() * 0.8;
    double x = plot.right();
    for (int i = int(names.size()) - 1; i >= 0; --i) {
        x -= fm.horizontalAdvance(names[i]);
        p.setPen(Qt::black);
        p.drawText(QRectF(x, mid - fm.height() / 2, fm.horizontalAdvance(names[i]) + unit, fm.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, names[i]);
        const QPointF at(x - 4 * unit, mid);
        if (i < 2) {
            p.setPen(QPen(Phases[i].colour, 0.3 * unit));
            p.drawLine(at - QPointF(2.5 * unit, 0), at + QPointF(2.5 * unit, 0));
            p.setBrush(Phases[i].colour);
            marker(p, at, r, Phases[i].diamond);
        } else {
            p.fillRect(QRectF(at - QPointF(2.5 * unit, unit), at + QPointF(2.5 * unit, unit)),
                       QColor(band.red(), band.green(), band.blue(), 60));
            p.setPen(QPen(band, 0.3 * unit, Qt::DashLine));
            p.drawLine(at + QPointF(-2.5 * unit, -unit), at + QPointF(2.5 * unit, -unit));
            p.drawLine(at + QPointF(-2.5 * unit, unit), at + QPointF(2.5 * unit, unit));
        }
        x -= 10 * unit;
    }
    p.restore();
}

} // namespace ErrorPlotPainter
