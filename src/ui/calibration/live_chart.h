#pragma once
// A live time chart: line series of (local time, value) points on a time-of-day
// axis, a legend on top, each series on the left or the right value axis scaled
// to its own points. Appends are cheap; the drawing is coalesced to a few redraws
// a second and skipped while the chart is hidden, so a chart of a whole shift
// stays smooth.
#include <QDateTime>
#include <QTimer>
#include <qcustomplot.h>
#include <vector>

class TLiveChart : public QCustomPlot
{
    Q_OBJECT
public:
    static constexpr int RedrawIntervalMs = 100;

    explicit TLiveChart(const QString &name, QWidget *parent = nullptr);

    // A new line series, 2 px, no markers, captioned in the legend. Returns its index.
    int addSeries(const QString &caption, bool rightAxis = false);
    // Appends one point; X is the local date and time. Points are kept until the
    // engineer clears them, on purpose: 16 bytes each, 1.4 MB for a 12-hour shift at
    // two points a second.
    void append(int series, const QDateTime &time, double value);
    // Removes every point of every series.
    void clearSeries();
    // Places buttons ("Сброс" and the like) in a row on the top-left corner, clear of
    // the legend, followed by the chart's own "Экспорт" button.
    void setCornerButtons(const QList<QWidget *> &buttons);
    // Every series to a CSV file (time, then one column per series, ';' between
    // fields, the locale's decimal mark), or the picture to PNG or PDF by the suffix.
    bool exportTo(const QString &path, QString *error);
    QToolButton *exportButton() const { return m_exportButton; }

    int seriesCount() const { return int(m_series.size()); }
    int pointCount(int series) const;
    QString seriesCaption(int series) const;
    bool onRightAxis(int series) const;
    // Draws now what was appended (the coalesced redraw does it by itself).
    void redrawNow();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Span
    {
        double low = 0.0;
        double high = 0.0;
        bool empty = true;
        void add(double v);
    };
    struct Series
    {
        QCPGraph *graph;
        bool right;
    };
    void scheduleRedraw();
    void askAndExport(const QString &filter, const QString &suffix);
    QString seriesCsv() const;
    // The chart as a PNG or PDF file's bytes; none when it cannot be drawn.
    QByteArray pictureBytes(const QString &suffix);
    void applyRanges();

    std::vector<Series> m_series;
    Span m_keys, m_left, m_right;
    bool m_dirty = false;
    QToolButton *m_exportButton;
    QTimer m_redraw;
};
