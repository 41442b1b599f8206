#include "ui/calibration/live_chart.h"
#include "ui/calibration/chart_export.h"
#include <QTabWidget>
#include <QToolButton>
#include <optional>
#include <cmath>

namespace {

void setRange(QCPAxis *axis, double low, double high, double minimumHalfSpan)
{
    const double margin = std::max((high - low) * 0.05, low == high ? minimumHalfSpan : 0.0);
    axis->setRange(low - margin, high + margin);
}

} // namespace

void TLiveChart::Span::add(double v)
{
    if (!std::isfinite(v))
        return;
    if (empty) {
        low = high = v;
        empty = false;
        return;
    }
    low = std::min(low, v);
    high = std::max(high, v);
}

TLiveChart::TLiveChart(const QString &name, QWidget *parent) : QCustomPlot(parent)
{
    setObjectName(name);
    setAccessibleName(QStringLiteral("График"));
    m_exportButton = ChartExport::CreateButton(
        *this, [this] { return title(); }, [this](const QString &path, QString *error) { return exportTo(path, error); });
    setBackground(Qt::white);
    // Thin lines stay fast at any length; the 2 px pens need the fast polyline path.
    setPlottingHints(plottingHints() | QCP::phFastPolylines | QCP::phCacheLabels);
    setNoAntialiasingOnDrag(true);

    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
    ticker->setDateTimeSpec(Qt::LocalTime);
    xAxis->setTicker(ticker);
    yAxis->setVisible(true);
    yAxis2->setVisible(false);

    legend->setFillOrder(QCPLegend::foColumnsFirst);
    legend->setBorderPen(Qt::NoPen);

    const QDateTime now = QDateTime::currentDateTime();
    xAxis->setRange(QCPAxisTickerDateTime::dateTimeToKey(now.addSecs(-60)), QCPAxisTickerDateTime::dateTimeToKey(now));

    m_redraw.setSingleShot(true);
    m_redraw.setInterval(RedrawIntervalMs);
    connect(&m_redraw, &QTimer::timeout, this, [this] {
        if (isVisible())
            redrawNow();
    });
}

int TLiveChart::addSeries(const QString &caption, bool rightAxis)
{
    static const QColor colours[] = {QColor(0x1f, 0x4e, 0xb4), QColor(0xc8, 0x32, 0x1e)};
    QCPGraph *graph = addGraph(xAxis, rightAxis ? yAxis2 : yAxis);
    graph->setName(caption);
    graph->setPen(QPen(colours[m_series.size() % 2], 2));
    graph->setLineStyle(QCPGraph::lsLine);
    graph->setScatterStyle(QCPScatterStyle::ssNone);
    graph->setAdaptiveSampling(true);
    if (m_series.empty()) {
        // The legend gets its own row above the plot with the first series; an empty
        // legend in the layout would squeeze the plot to the legend's width.
        plotLayout()->insertRow(0);
        plotLayout()->addElement(0, 0, legend);
        plotLayout()->setRowStretchFactor(0, 0.001);
        legend->setVisible(true);
    }
    if (rightAxis) {
        yAxis2->setVisible(true);
        yAxis2->setTickLabels(true);
    }
    m_series.push_back({graph, rightAxis});
    setAccessibleName(accessibleName() + (m_series.size() == 1 ? QStringLiteral(": ") : QStringLiteral(", ")) + caption);
    return int(m_series.size()) - 1;
}

void TLiveChart::append(int series, const QDateTime &time, double value)
{
    if (series < 0 || series >= seriesCount())
        return;
    const double key = QCPAxisTickerDateTime::dateTimeToKey(time);
    m_series[size_t(series)].graph->addData(key, value);
    m_keys.add(key);
    (m_series[size_t(series)].right ? m_right : m_left).add(value);
    scheduleRedraw();
}

void TLiveChart::clearSeries()
{
    for (const Series &s : m_series)
        s.graph->data()->clear();
    m_keys = m_left = m_right = Span{};
    scheduleRedraw();
}

void TLiveChart::setCornerButtons(const QList<QWidget *> &buttons)
{
    ChartExport::PlaceCornerButtons(*this, buttons + QList<QWidget *>{m_exportButton});
}

QString TLiveChart::title() const
{
    if (!m_title.isEmpty())
        return m_title;
    QStringList parts;
    // The page the chart is on says which calibration the points belong to.
    for (QWidget *page = parentWidget(); page && page->parentWidget(); page = page->parentWidget()) {
        if (auto *tabs = qobject_cast<QTabWidget *>(page->parentWidget()->parentWidget())) {
            if (const int i = tabs->indexOf(page); i >= 0) {
                parts << tabs->tabText(i);
                break;
            }
        }
    }
    QStringList captions;
    for (int i = 0; i < seriesCount(); ++i)
        captions << seriesCaption(i);
    parts << captions.join(QStringLiteral(", "));
    parts.removeAll(QString());
    return parts.join(QStringLiteral(" - "));
}

int TLiveChart::pointCount(int series) const
{
    return series >= 0 && series < seriesCount() ? m_series[size_t(series)].graph->dataCount() : 0;
}

QString TLiveChart::seriesCaption(int series) const
{
    return series >= 0 && series < seriesCount() ? m_series[size_t(series)].graph->name() : QString();
}

bool TLiveChart::onRightAxis(int series) const
{
    return series >= 0 && series < seriesCount() && m_series[size_t(series)].right;
}

void TLiveChart::scheduleRedraw()
{
    m_dirty = true;
    if (!m_redraw.isActive())
        m_redraw.start();
}

void TLiveChart::applyRanges()
{
    if (!m_keys.empty)
        setRange(xAxis, m_keys.low, m_keys.high, 1.0);
    if (!m_left.empty)
        setRange(yAxis, m_left.low, m_left.high, 1.0);
    if (!m_right.empty)
        setRange(yAxis2, m_right.low, m_right.high, 1.0);
}

void TLiveChart::redrawNow()
{
    m_dirty = false;
    applyRanges();
    replot();
}

void TLiveChart::showEvent(QShowEvent *event)
{
    QCustomPlot::showEvent(event);
    // Points that came while the tab was hidden are drawn once it shows.
    if (m_dirty)
        scheduleRedraw();
}

QString TLiveChart::seriesCsv() const
{
    // Series appended together share their times: one row per time.
    QMap<double, QVector<std::optional<double>>> rows;
    for (int i = 0; i < seriesCount(); ++i) {
        const QCPGraph *g = m_series[size_t(i)].graph;
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it) {
            auto &row = rows[it->key];
            row.resize(seriesCount());
            row[i] = it->value;
        }
    }
    QStringList header{QStringLiteral("Время")};
    for (int i = 0; i < seriesCount(); ++i)
        header << seriesCaption(i);
    QList<QStringList> lines;
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        QStringList fields{QDateTime::fromMSecsSinceEpoch(qint64(it.key() * 1000.0)).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))};
        for (const std::optional<double> &v : it.value())
            fields << (v ? ChartExport::CsvNumber(*v) : QString());
        lines << fields;
    }
    return ChartExport::CsvText(header, lines);
}

bool TLiveChart::exportTo(const QString &path, QString *error)
{
    // Points not drawn yet belong in the picture as they do in the CSV.
    if (m_dirty)
        redrawNow();
    return ChartExport::Write(*this, path, [this] { return seriesCsv(); }, error);
}
