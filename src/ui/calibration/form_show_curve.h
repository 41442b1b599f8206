#pragma once
// The curve viewer: the flow calibration polynomial over the range of the Δt
// values, and the thirteen points labelled with their deviation from it.
// A snapshot: it never changes after Initialize.
#include "ui/calibration/curve_data.h"
#include <QWidget>

class QCustomPlot;
class QCPCurve;
class QToolButton;

class TForm_Show_Curve : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ClientWidth = 881;
    static constexpr int ClientHeight = 548;

    // A top-level window owned by the calibration window; destroyed when closed.
    explicit TForm_Show_Curve(QWidget *owner);

    void FormCreate();
    void Initialize(const TFormCurveCreateData &data);

    const TFormCurveCreateData &dat() const { return m_dat; }
    // The series' points in the order they were added, and the points' labels.
    std::vector<QPointF> seriesPoints(int series) const;
    QStringList pointLabels() const;
    // Both series as CSV (series, Δt, flow, the point's deviation), or the picture
    // as PNG or PDF, by the suffix; the chart's "Экспорт" button does the same.
    bool exportTo(const QString &path, QString *error);
    static QString title() { return QStringLiteral("Кривая калибровки расхода"); }

    QCustomPlot *Chart_Curve;
    QToolButton *Button_Export;

private:
    QString pointsCsv() const;

    TFormCurveCreateData m_dat;
    QCPCurve *m_polynomial = nullptr;
    QCPCurve *m_points = nullptr;
};
