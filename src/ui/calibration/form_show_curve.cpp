#include "ui/calibration/form_show_curve.h"
#include "ui/calibration/chart_export.h"
#include "ui/common/ui_fonts.h"
#include <QToolButton>
#include <QVBoxLayout>
#include <qcustomplot.h>

TForm_Show_Curve::TForm_Show_Curve(QWidget *owner) : QWidget(owner, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("Form_Show_Curve"));
    setWindowTitle(QStringLiteral("График"));
    setFont(UiFont(8));
    Chart_Curve = new QCustomPlot(this);
    Chart_Curve->setObjectName(QStringLiteral("Chart_Curve"));
    Chart_Curve->setAccessibleName(QStringLiteral("График: полином и исходные точки"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Chart_Curve);
    resize(ClientWidth, ClientHeight);
    FormCreate();
}

void TForm_Show_Curve::FormCreate()
{
    QCustomPlot *chart = Chart_Curve;
    chart->setBackground(Qt::white);
    chart->setPlottingHints(chart->plottingHints() | QCP::phFastPolylines);
    chart->plotLayout()->insertRow(0);
    chart->plotLayout()->addElement(0, 0, chart->legend);
    chart->plotLayout()->setRowStretchFactor(0, 0.001);
    chart->legend->setFillOrder(QCPLegend::foColumnsFirst);
    chart->legend->setBorderPen(Qt::NoPen);
    chart->legend->setVisible(true);
    chart->xAxis->setLabel(QStringLiteral("Δt (нс)"));
    chart->yAxis->setLabel(QStringLiteral("Расход (кг/ч)"));
    Button_Export = ChartExport::CreateButton(
        *chart, [] { return title(); }, [this](const QString &path, QString *error) { return exportTo(path, error); });
    ChartExport::PlaceCornerButtons(*chart, {Button_Export});

    // Curves keep the order of their points: the points join 1 to 13 whatever their Δt.
    m_polynomial = new QCPCurve(chart->xAxis, chart->yAxis);
    m_polynomial->setName(QStringLiteral("полином"));
    m_polynomial->setPen(QPen(QColor(0x1f, 0x4e, 0xb4), 2));
    m_points = new QCPCurve(chart->xAxis, chart->yAxis);
    m_points->setName(QStringLiteral("исходные точки"));
    m_points->setPen(QPen(QColor(0xc8, 0x32, 0x1e), 2));
    m_points->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssSquare, 2));
}

void TForm_Show_Curve::Initialize(const TFormCurveCreateData &data)
{
    m_dat = data;
    for (const QPointF &p : Curve::PolynomialCurve(m_dat))
        m_polynomial->addData(p.x(), p.y());
    for (size_t k = 0; k < m_dat.Pr.size(); ++k) {
        const double x = m_dat.Pr[k], y = m_dat.Et[k];
        m_points->addData(x, y);
        auto *label = new QCPItemText(Chart_Curve);
        label->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        label->position->setCoords(x, y);
        label->setPadding(QMargins(0, 0, 0, 4));
        label->setText(Curve::DeviationLabel(m_dat, x, y));
        label->setClipToAxisRect(false);
    }
    Chart_Curve->rescaleAxes();
    // Room for the labels above the highest point.
    Chart_Curve->yAxis->scaleRange(1.1, Chart_Curve->yAxis->range().center());
    Chart_Curve->xAxis->scaleRange(1.05, Chart_Curve->xAxis->range().center());
    Chart_Curve->replot();
}

std::vector<QPointF> TForm_Show_Curve::seriesPoints(int series) const
{
    const QCPCurve *curve = series == 0 ? m_polynomial : m_points;
    std::vector<QPointF> points;
    for (auto it = curve->data()->constBegin(); it != curve->data()->constEnd(); ++it)
        points.emplace_back(it->key, it->value);
    return points;
}

QStringList TForm_Show_Curve::pointLabels() const
{
    QStringList labels;
    for (int i = 0; i < Chart_Curve->itemCount(); ++i) {
        if (auto *text = qobject_cast<QCPItemText *>(Chart_Curve->item(i)))
            labels << text->text();
    }
    return labels;
}

bool TForm_Show_Curve::exportTo(const QString &path, QString *error)
{
    return ChartExport::Write(*Chart_Curve, path, [this] { return pointsCsv(); }, error);
}

QString TForm_Show_Curve::pointsCsv() const
{
    QList<QStringList> rows;
    for (const QPointF &p : seriesPoints(0))
        rows << QStringList{m_polynomial->name(), ChartExport::CsvNumber(p.x()), ChartExport::CsvNumber(p.y()), QString()};
    const QStringList labels = pointLabels();
    const std::vector<QPointF> points = seriesPoints(1);
    for (size_t k = 0; k < points.size(); ++k)
        rows << QStringList{m_points->name(), ChartExport::CsvNumber(points[k].x()), ChartExport::CsvNumber(points[k].y()),
                            labels.value(qsizetype(k))};
    return ChartExport::CsvText({QStringLiteral("Ряд"), Chart_Curve->xAxis->label(), Chart_Curve->yAxis->label(),
                                 QStringLiteral("Отклонение от полинома (% Q Max)")},
                                rows);
}
