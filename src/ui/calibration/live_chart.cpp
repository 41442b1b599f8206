#include "ui/calibration/live_chart.h"
#include "records/file_output.h"
#include "ui/common/error_box.h"
#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPdfWriter>
#include <QStandardPaths>
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
    m_exportButton = new QToolButton(this);
    m_exportButton->setObjectName(name + QStringLiteral("_Export"));
    m_exportButton->setText(QStringLiteral("Экспорт"));
    m_exportButton->setToolTip(QStringLiteral("Сохранить точки графика или его рисунок"));
    m_exportButton->setPopupMode(QToolButton::InstantPopup);
    auto *menu = new QMenu(m_exportButton);
    menu->addAction(QStringLiteral("Точки в CSV…"), this,
                    [this] { askAndExport(QStringLiteral("Таблица CSV (*.csv)"), QStringLiteral("csv")); });
    menu->addAction(QStringLiteral("Рисунок PNG…"), this,
                    [this] { askAndExport(QStringLiteral("Рисунок PNG (*.png)"), QStringLiteral("png")); });
    menu->addAction(QStringLiteral("Документ PDF…"), this,
                    [this] { askAndExport(QStringLiteral("Документ PDF (*.pdf)"), QStringLiteral("pdf")); });
    m_exportButton->setMenu(menu);
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
    constexpr int Gap = 4;
    int left = Gap;
    for (QWidget *button : buttons + QList<QWidget *>{m_exportButton}) {
        button->setParent(this);
        button->resize(button->sizeHint());
        button->move(left, Gap);
        left += button->width() + Gap;
    }
    QMargins margins = legend->margins();
    margins.setLeft(left + 2 * Gap);
    legend->setMargins(margins);
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
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    QStringList header{QStringLiteral("Время")};
    for (int i = 0; i < seriesCount(); ++i)
        header << seriesCaption(i);
    QString text = QStringLiteral("\uFEFF") + header.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    for (auto it = rows.cbegin(); it != rows.cend(); ++it) {
        QStringList fields{QDateTime::fromMSecsSinceEpoch(qint64(it.key() * 1000.0)).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))};
        for (const std::optional<double> &v : it.value())
            fields << (v ? locale.toString(*v, 'g', 9) : QString());
        text += fields.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    }
    return text;
}

QByteArray TLiveChart::pictureBytes(const QString &suffix)
{
    // Points not drawn yet belong in the picture as they do in the CSV.
    if (m_dirty)
        redrawNow();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (suffix == QLatin1String("png")) {
        if (!toPixmap().save(&buffer, "PNG"))
            return {};
        return buffer.data();
    }
    // The chart's own size in points, as the picture on screen.
    const QSize size = this->size();
    {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("KestroLink " KESTRO_VERSION));
        // The screen's resolution: fonts keep the size they have beside the plot on screen.
        pdf.setResolution(logicalDpiX());
        pdf.setPageLayout(QPageLayout(QPageSize(size, QPageSize::Point, QString(), QPageSize::ExactMatch),
                                      QPageLayout::Portrait, QMarginsF()));
        QCPPainter painter;
        if (!painter.begin(&pdf))
            return {};
        painter.setMode(QCPPainter::pmVectorized);
        painter.setWindow(QRect(QPoint(), size));
        toPainter(&painter, size.width(), size.height());
        if (!painter.end())
            return {};
    }
    return buffer.data();
}

bool TLiveChart::exportTo(const QString &path, QString *error)
{
    // Each picture is made in memory first and then saved whole, so a full disk
    // cannot leave a cut-off file behind a success.
    const QString suffix = QFileInfo(path).suffix().toLower();
    QByteArray bytes;
    if (suffix == QLatin1String("csv"))
        bytes = seriesCsv().toUtf8();
    else if (suffix == QLatin1String("png") || suffix == QLatin1String("pdf"))
        bytes = pictureBytes(suffix);
    else {
        *error = QStringLiteral("Неизвестный формат файла %1: нужен .csv, .png или .pdf").arg(path);
        return false;
    }
    QString why = QStringLiteral("картинка не построена");
    if (bytes.isEmpty() || !FileOutput::Save(path, bytes, &why)) {
        *error = QStringLiteral("Файл %1 не записан: %2").arg(path, why);
        return false;
    }
    return true;
}

void TLiveChart::askAndExport(const QString &filter, const QString &suffix)
{
    const QString suggested = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                                  .filePath(QStringLiteral("%1-%2.%3")
                                                .arg(objectName(), QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")), suffix));
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Экспорт графика"), suggested, filter);
    if (path.isEmpty())
        return;
    QString error;
    if (!exportTo(path, &error))
        ShowErrorBox(this, error);
}
