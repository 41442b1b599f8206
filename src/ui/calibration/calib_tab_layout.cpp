#include "ui/calibration/calib_tab_layout.h"
#include "ui/calibration/live_chart.h"
#include "ui/common/tool_images.h"
#include "ui/common/ui_fonts.h"
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int BoxPointSize = 10;

QString text(const char *s)
{
    return QString::fromUtf8(s);
}

QLineEdit *box(QWidget *parent, const char *name, const QString &accessibleName, bool readOnly)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(text(name));
    edit->setFont(UiFont(BoxPointSize, true));
    edit->setReadOnly(readOnly);
    edit->setAccessibleName(accessibleName);
    return edit;
}

QLabel *label(QWidget *parent, const QString &caption, QWidget *buddy = nullptr)
{
    auto *l = new QLabel(caption, parent);
    if (buddy)
        l->setBuddy(buddy);
    return l;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(text(name));
    return b;
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

    auto *title = new QLabel(text(n.title), panel);
    title->setAlignment(Qt::AlignCenter);
    title->setWordWrap(true);
    title->setFont(UiFont(10, true));
    title->setStyleSheet(QStringLiteral("color: navy;"));
    column->addWidget(title);

    // Coefficients the meter computed: shown, never typed.
    auto *coefficients = new QGridLayout;
    w.a = box(panel, n.editA, QStringLiteral("Коэффициент A"), true);
    w.b = box(panel, n.editB, QStringLiteral("Коэффициент B"), true);
    coefficients->addWidget(label(panel, QStringLiteral("A"), w.a), 0, 0);
    coefficients->addWidget(label(panel, QStringLiteral("B"), w.b), 0, 1);
    coefficients->addWidget(w.a, 1, 0);
    coefficients->addWidget(w.b, 1, 1);
    column->addLayout(coefficients);

    // The two points: a caption per row, a heading per column.
    auto *points = new QGridLayout;
    const QString colT = text(n.columnT), colX = text(n.columnX), row1 = text(n.row1), row2 = text(n.row2);
    w.p1T = box(panel, n.edit1T, row1 + QStringLiteral(", ") + colT, false);
    w.p1X = box(panel, n.edit1X, row1 + QStringLiteral(", ") + colX, false);
    w.p2T = box(panel, n.edit2T, row2 + QStringLiteral(", ") + colT, false);
    w.p2X = box(panel, n.edit2X, row2 + QStringLiteral(", ") + colX, false);
    points->addWidget(label(panel, colT), 0, 1, Qt::AlignHCenter);
    points->addWidget(label(panel, colX), 0, 2, Qt::AlignHCenter);
    points->addWidget(label(panel, row1, w.p1T), 1, 0);
    points->addWidget(w.p1T, 1, 1);
    points->addWidget(w.p1X, 1, 2);
    points->addWidget(label(panel, row2, w.p2T), 2, 0);
    points->addWidget(w.p2T, 2, 1);
    points->addWidget(w.p2X, 2, 2);
    column->addLayout(points);

    auto *readSave = new QHBoxLayout;
    w.read = button(panel, n.read, QStringLiteral("Прочитать"));
    w.save = button(panel, n.save, QStringLiteral("Сохранить"));
    readSave->addWidget(w.read);
    readSave->addWidget(w.save);
    column->addLayout(readSave);

    auto *note = new QLabel(text(CalibTab::RecalcNote), panel);
    note->setWordWrap(true);
    QFont noteFont = note->font();
    noteFont.setItalic(true);
    note->setFont(noteFont);
    note->setStyleSheet(QStringLiteral("color: red;"));
    column->addWidget(note);

    // Live values, each with a button that copies it exactly as shown.
    auto *live = new QGridLayout;
    int row = 0;
    for (const CalibTabNames::LiveRow &r : n.live) {
        const QString caption = text(r.caption);
        QLineEdit *edit = box(panel, r.edit, caption, true);
        auto *copy = new QToolButton(panel);
        copy->setObjectName(text(r.copy));
        copy->setIcon(ToolImage(ToolImages::Copy));
        copy->setToolTip(text(CalibTab::CopyHint));
        copy->setAccessibleName(text(CalibTab::CopyHint) + QStringLiteral(": ") + caption);
        copy->setFixedSize(edit->sizeHint().height(), edit->sizeHint().height());
        live->addWidget(label(panel, caption, edit), row, 0);
        live->addWidget(edit, row, 1);
        live->addWidget(copy, row, 2);
        w.live.push_back(edit);
        w.copy.push_back(copy);
        ++row;
    }
    column->addLayout(live);

    auto *startStop = new QHBoxLayout;
    w.start = button(panel, n.start, QStringLiteral("Старт"));
    w.stop = button(panel, n.stop, QStringLiteral("Стоп"));
    w.start->setAccessibleName(QStringLiteral("Старт опроса"));
    w.stop->setAccessibleName(QStringLiteral("Стоп опроса"));
    startStop->addWidget(w.start);
    startStop->addWidget(w.stop);
    column->addLayout(startStop);
    column->addStretch(1);

    w.chart = new TLiveChart(text(n.chart), tab);
    w.reset = button(w.chart, n.reset, QStringLiteral("Сброс"));
    w.reset->setAccessibleName(QStringLiteral("Сброс графика"));
    w.chart->setCornerButton(w.reset);

    auto *row0 = new QHBoxLayout(tab);
    row0->setContentsMargins(0, 0, 0, 0);
    row0->addWidget(panel);
    row0->addWidget(w.chart, 1);
    return w;
}
