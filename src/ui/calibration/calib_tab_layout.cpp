#include "ui/calibration/calib_tab_layout.h"
#include "ui/calibration/live_chart.h"
#include "ui/calibration/tab_widgets.h"
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace TabWidgets;

namespace {
QString text(const char *s)
{
    return QString::fromUtf8(s);
}
} // namespace

CalibTabWidgets BuildCalibTab(QWidget *tab, const CalibTabNames &n)
{
    CalibTabWidgets w{};
    auto *panel = new QWidget(tab);
    panel->setFixedWidth(CalibTab::PanelWidth);
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(8, 8, 8, 8);
    column->setSpacing(8);

    column->addWidget(Title(panel, text(n.title)));

    // Coefficients the meter computed: shown, never typed.
    auto *coefficients = new QGridLayout;
    w.a = Box(panel, n.editA, QStringLiteral("Коэффициент A"), true);
    w.b = Box(panel, n.editB, QStringLiteral("Коэффициент B"), true);
    coefficients->addWidget(Caption(panel, QStringLiteral("A"), w.a), 0, 0);
    coefficients->addWidget(Caption(panel, QStringLiteral("B"), w.b), 0, 1);
    coefficients->addWidget(w.a, 1, 0);
    coefficients->addWidget(w.b, 1, 1);
    column->addLayout(coefficients);

    // The two points: a caption per row, a heading per column.
    auto *points = new QGridLayout;
    const QString colT = text(n.columnT), colX = text(n.columnX), row1 = text(n.row1), row2 = text(n.row2);
    w.p1T = Box(panel, n.edit1T, row1 + QStringLiteral(", ") + colT, false);
    w.p1X = Box(panel, n.edit1X, row1 + QStringLiteral(", ") + colX, false);
    w.p2T = Box(panel, n.edit2T, row2 + QStringLiteral(", ") + colT, false);
    w.p2X = Box(panel, n.edit2X, row2 + QStringLiteral(", ") + colX, false);
    points->addWidget(Caption(panel, colT), 0, 1, Qt::AlignHCenter);
    points->addWidget(Caption(panel, colX), 0, 2, Qt::AlignHCenter);
    points->addWidget(Caption(panel, row1, w.p1T), 1, 0);
    points->addWidget(w.p1T, 1, 1);
    points->addWidget(w.p1X, 1, 2);
    points->addWidget(Caption(panel, row2, w.p2T), 2, 0);
    points->addWidget(w.p2T, 2, 1);
    points->addWidget(w.p2X, 2, 2);
    column->addLayout(points);

    w.read = Button(panel, n.read, QStringLiteral("Прочитать"));
    w.save = Button(panel, n.save, QStringLiteral("Сохранить"));
    column->addLayout(Row({w.read, w.save}));

    column->addWidget(RecalcNote(panel));

    // Live values, each with a button that copies it exactly as shown.
    auto *live = new QGridLayout;
    AddLiveRows(panel, live, n.live, w.live, w.copy);
    w.liveGrid = live;
    column->addLayout(live);

    w.start = Button(panel, n.start, QStringLiteral("Старт"), QStringLiteral("Старт опроса"));
    w.stop = Button(panel, n.stop, QStringLiteral("Стоп"), QStringLiteral("Стоп опроса"));
    column->addLayout(Row({w.start, w.stop}));
    column->addStretch(1);

    w.chart = new TLiveChart(text(n.chart), tab);
    w.reset = Button(w.chart, n.reset, QStringLiteral("Сброс"), QStringLiteral("Сброс графика"));
    w.chart->setCornerButtons({w.reset});

    auto *row0 = new QHBoxLayout(tab);
    row0->setContentsMargins(0, 0, 0, 0);
    row0->addWidget(panel);
    row0->addWidget(w.chart, 1);
    return w;
}
