#include "ui/result/run_result_view.h"
#include "ui/common/error_box.h"
#include "ui/common/file_dialogs.h"
#include "records/file_output.h"
#include "records/run_dcc.h"
#include "ui/result/run_adjustment_box.h"
#include "report/run_certificate.h"
#include "ui/result/run_error_plot.h"
#include "report/run_metrology_text.h"
#include "report/run_result_text.h"
#include "ui/result/run_metrology_box.h"
#include <QGroupBox>
#include <QHBoxLayout>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <qcustomplot.h>

namespace {

const QColor Unfit(190, 0, 0);
const QColor Fit(0, 110, 40);
const QColor Open(150, 90, 0); // undetermined: neither verdict's colour

// The most rows a table shows before it scrolls within the page.
constexpr int RowsInSight = 10;

QString verdictStyle(const std::optional<Conformity> &c)
{
    if (!c)
        return QString();
    const QColor colour = *c == Conformity::Pass ? Fit : *c == Conformity::Fail ? Unfit : Open;
    return QStringLiteral("font-weight: bold; color: %1;").arg(colour.name());
}

QTableWidget *table(QWidget *parent, const char *name, const QString &accessible, const QStringList &headings)
{
    auto *t = new QTableWidget(0, int(headings.size()), parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setAccessibleName(accessible);
    t->setHorizontalHeaderLabels(headings);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->hide();
    return t;
}

QLabel *label(QWidget *parent, const char *name, const QString &accessible)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAccessibleName(accessible);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, const QString &hint)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAccessibleName(caption);
    b->setToolTip(hint);
    return b;
}

// fitted: as high as its rows (up to RowsInSight), for tables one above the other.
void fillTable(QTableWidget &t, const QList<RunPoint> &points, const RunResultText::TableColumns &columns, bool fitted)
{
    const QStringList headings = RunResultText::TableHeadings(columns);
    t.setColumnCount(int(headings.size()));
    t.setHorizontalHeaderLabels(headings);
    t.setRowCount(int(points.size()));
    for (int row = 0; row < points.size(); ++row) {
        const QStringList cells = RunResultText::PointCells(points[row], columns);
        const std::optional<Conformity> verdict = RecordedConformity(points[row]);
        const bool unfit = verdict == Conformity::Fail;
        for (int col = 0; col < cells.size(); ++col) {
            auto *item = new QTableWidgetItem(cells[col]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            // An unfit point stands out in the whole row, not only in its verdict.
            if (unfit) {
                item->setForeground(Unfit);
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            } else if (verdict == Conformity::Undetermined && col == cells.size() - 1) {
                item->setForeground(Open);
            }
            t.setItem(row, col, item);
        }
    }
    t.resizeColumnsToContents();
    // On a page that scrolls, a table shows its points rather than shrink to a sliver.
    const int rows = std::max(1, std::min(int(points.size()), RowsInSight));
    const int height = 2 * t.frameWidth() + t.horizontalHeader()->sizeHint().height()
                       + rows * t.verticalHeader()->defaultSectionSize();
    t.setMinimumHeight(height);
    t.setMaximumHeight(fitted ? height : QWIDGETSIZE_MAX);
    // Never narrower than its columns: the verdict stays in sight without a scroll.
    int width = 2 * t.frameWidth() + t.verticalScrollBar()->sizeHint().width();
    for (int col = 0; col < t.columnCount(); ++col)
        width += t.columnWidth(col);
    t.setMinimumWidth(width);
}

void showVerdict(QLabel &l, const RunRecord &run, RunPhase phase)
{
    l.setText(RunResultText::VerdictLine(run, phase));
    l.setStyleSheet(verdictStyle(RunResultText::PhaseConformity(run, phase)));
}

} // namespace

TRunResultView::TRunResultView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("RunResultView"));
    setAccessibleName(QStringLiteral("Результат калибровки"));
    Scroll_Result = new QScrollArea(this);
    Scroll_Result->setObjectName(QStringLiteral("Scroll_Result"));
    Scroll_Result->setAccessibleName(QStringLiteral("Результат калибровки"));
    Scroll_Result->setWidgetResizable(true);
    Scroll_Result->setFrameShape(QFrame::NoFrame);
    Scroll_Result->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QWidget(Scroll_Result);
    content->setObjectName(QStringLiteral("Widget_ResultContent"));
    content->setAccessibleName(QStringLiteral("Результат калибровки"));

    Label_Title = label(this, "Label_Title", QStringLiteral("Прибор и калибровка"));
    QFont titleFont = Label_Title->font();
    titleFont.setBold(true);
    Label_Title->setFont(titleFont);
    Label_End = label(this, "Label_End", QStringLiteral("Чем закончилась калибровка"));
    Label_Rule = label(this, "Label_Rule", QStringLiteral("Правило принятия решения"));

    const QStringList headings = RunResultText::TableHeadings();
    Grid_AsFound = table(this, "Grid_AsFound", QStringLiteral("Точки как найден"), headings);
    Grid_AsLeft = table(this, "Grid_AsLeft", QStringLiteral("Точки как оставлен"), headings);
    Label_AsFoundVerdict = label(this, "Label_AsFoundVerdict", QStringLiteral("Вывод как найден"));
    Label_AsLeftVerdict = label(this, "Label_AsLeftVerdict", QStringLiteral("Вывод как оставлен"));
    Label_Coverage = label(this, "Label_Coverage", QStringLiteral("Что значит ± U"));
    Label_Undetermined = label(this, "Label_Undetermined", QStringLiteral("Почему соответствие не определено"));
    Label_Undetermined->setStyleSheet(QStringLiteral("color: %1;").arg(Open.name()));
    Group_Metrology = new TRunMetrologyBox(this);
    auto *tables = m_tables = new QHBoxLayout;
    const struct
    {
        const char *name;
        QString title;
        QTableWidget *grid;
        QLabel *verdict;
    } phases[] = {{"Group_AsFound", QStringLiteral("Как найден"), Grid_AsFound, Label_AsFoundVerdict},
                  {"Group_AsLeft", QStringLiteral("Как оставлен"), Grid_AsLeft, Label_AsLeftVerdict}};
    for (const auto &p : phases) {
        auto *group = new QGroupBox(p.title, this);
        group->setObjectName(QString::fromLatin1(p.name));
        auto *column = new QVBoxLayout(group);
        column->addWidget(p.grid, 1);
        column->addWidget(p.verdict);
        tables->addWidget(group, 1);
    }

    Chart_Errors = new QCustomPlot(this);
    Chart_Errors->setObjectName(QStringLiteral("Chart_Errors"));
    Chart_Errors->setAccessibleName(QStringLiteral("Погрешность по расходу"));
    Chart_Errors->setMinimumHeight(220);
    Grid_Coefficients = table(this, "Grid_Coefficients", QStringLiteral("Коэффициенты до и после"),
                              {QStringLiteral("До"), QStringLiteral("После")});
    Grid_Coefficients->setRowCount(4);
    Grid_Coefficients->setVerticalHeaderLabels({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
    Grid_Coefficients->verticalHeader()->show();
    Grid_Coefficients->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    auto *coefficients = new QGroupBox(QStringLiteral("Коэффициенты расхода"), this);
    coefficients->setObjectName(QStringLiteral("Group_Coefficients"));
    (new QVBoxLayout(coefficients))->addWidget(Grid_Coefficients);
    Group_Adjustments = new TRunAdjustmentBox(this);
    auto *lower = new QHBoxLayout;
    lower->addWidget(Chart_Errors, 3);
    lower->addWidget(coefficients, 1);

    Button_Certificate = button(this, "Button_Certificate", QStringLiteral("Протокол (PDF)…"),
                                QStringLiteral("Сохранить протокол калибровки в PDF и открыть его"));
    Button_ExportDcc = button(this, "Button_ExportDcc", QStringLiteral("Экспорт DCC (XML)…"),
                              QStringLiteral("Сохранить цифровой сертификат калибровки (DCC, XML)"));
    Button_OpenRecord = button(this, "Button_OpenRecord", QStringLiteral("Открыть запись"),
                               QStringLiteral("Показать эту калибровку в истории"));
    Button_Restore = button(this, "Button_Restore", QStringLiteral("Вернуть прежнюю калибровку"),
                            QStringLiteral("Записать в прибор снимок, снятый перед калибровкой"));
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {Button_Certificate, Button_ExportDcc, Button_OpenRecord, Button_Restore})
        buttons->addWidget(b);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Label_Title);
    layout->addWidget(Label_End);
    layout->addWidget(Label_Rule);
    layout->addLayout(tables, 3);
    layout->addWidget(Label_Coverage);
    layout->addWidget(Label_Undetermined);
    layout->addWidget(Group_Metrology);
    layout->addWidget(Group_Adjustments);
    layout->addLayout(lower, 2);
    Scroll_Result->setWidget(content);
    content->installEventFilter(this);
    auto *outer = new QVBoxLayout(this);
    outer->addWidget(Scroll_Result, 1);
    outer->addLayout(buttons);

    connect(Button_Certificate, &QPushButton::clicked, this, [this] { CatchToErrorBox(this, [this] { Button_CertificateClick(); }); });
    connect(Button_ExportDcc, &QPushButton::clicked, this, [this] { CatchToErrorBox(this, [this] { Button_ExportDccClick(); }); });
    connect(Button_OpenRecord, &QPushButton::clicked, this, [this] { emit openRecordRequested(m_run.id); });
    connect(Button_Restore, &QPushButton::clicked, this, [this] { emit restoreRequested(m_run.snapshotBeforeId); });
    showRun(m_run, false);
}

void TRunResultView::showRun(const RunRecord &run, bool canRestore)
{
    using namespace RunResultText;
    m_run = run;
    // The workstation matters once records from the whole plant are read.
    Label_Title->setText(QStringLiteral("Прибор № %1 · оператор %2 · %3 · стенд: %4%5")
                             .arg(run.meterSerial, run.operatorName, When(run.startedUtc), RigLine(run),
                                  run.workstation.isEmpty() ? QString()
                                                            : QStringLiteral(" · рабочее место %1").arg(run.workstation)));
    Label_End->setText(EndLine(run));
    Label_End->setStyleSheet(run.end == RunEnd::Completed ? QString()
                                                          : QStringLiteral("font-weight: bold; color: %1;").arg(Unfit.name()));
    const TableColumns columns = ColumnsOf(run);
    const bool wide = columns.uncertainty || columns.repeatability || columns.runs;
    m_tables->setDirection(wide ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight);
    fillTable(*Grid_AsFound, run.pointsOf(RunPhase::AsFound), columns, wide);
    fillTable(*Grid_AsLeft, run.pointsOf(RunPhase::AsLeft), columns, wide);
    showVerdict(*Label_AsFoundVerdict, run, RunPhase::AsFound);
    showVerdict(*Label_AsLeftVerdict, run, RunPhase::AsLeft);
    const auto showText = [](QLabel *l, const QString &text) {
        l->setText(text);
        l->setVisible(!text.isEmpty());
    };
    showText(Label_Rule, RuleStatement(run));
    showText(Label_Coverage, CoverageNote(run));
    showText(Label_Undetermined, UndeterminedLines(run).join(QLatin1Char('\n')));
    Group_Metrology->showRun(run);
    fitWidth();
    for (int i = 0; i < 4; ++i) {
        Grid_Coefficients->setItem(i, 0, new QTableWidgetItem(Coefficient(run.coefficientsBefore, i)));
        Grid_Coefficients->setItem(i, 1, new QTableWidgetItem(Coefficient(run.coefficientsAfter, i)));
    }
    Grid_Coefficients->resizeColumnsToContents();
    Group_Adjustments->showRun(run);
    PlotRunErrors(*Chart_Errors, run);
    Button_Certificate->setEnabled(!run.points.isEmpty());
    Button_ExportDcc->setEnabled(!run.points.isEmpty());
    Button_OpenRecord->setEnabled(run.id != 0);
    Button_Restore->setVisible(canRestore && run.snapshotBeforeId != 0);
}

bool TRunResultView::eventFilter(QObject *watched, QEvent *event)
{
    // The page's layout has taken new tables: the width they need is known now.
    if (watched == Scroll_Result->widget() && event->type() == QEvent::LayoutRequest)
        fitWidth();
    return QWidget::eventFilter(watched, event);
}

void TRunResultView::fitWidth()
{
    // It scrolls only down: never narrower than its tables, as before it scrolled.
    Scroll_Result->setMinimumWidth(Scroll_Result->widget()->minimumSizeHint().width()
                                   + Scroll_Result->verticalScrollBar()->sizeHint().width());
}

const RunRecord &TRunResultView::run() const
{
    return m_run;
}

void TRunResultView::Button_CertificateClick()
{
    const QString suggested = FileNameFromTitle(
        QStringLiteral("Протокол калибровки %1 %2.pdf")
            .arg(m_run.meterSerial, m_run.startedUtc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd"))));
    const QString path = AskSaveFileName(this, QStringLiteral("Протокол калибровки"), suggested, QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty() || !saveCertificate(path))
        return;
    OpenSavedDocument(this, QStringLiteral("Протокол калибровки"), path);
}

bool TRunResultView::saveCertificate(const QString &path)
{
    QString error;
    if (RunCertificate::Write(m_run, path, &error))
        return true;
    ShowErrorBox(this, error);
    return false;
}

void TRunResultView::Button_ExportDccClick()
{
    const QString suggested = FileNameFromTitle(CertificateNumber(m_run) + QStringLiteral(".xml"));
    const QString path = AskSaveFileName(this, QStringLiteral("Цифровой сертификат калибровки"), suggested,
                                         QStringLiteral("DCC (*.xml)"));
    if (!path.isEmpty())
        saveDcc(path);
}

bool TRunResultView::saveDcc(const QString &path)
{
    QString error;
    const QByteArray dcc = RunDcc::Write(m_run, &error);
    if (!dcc.isEmpty() && FileOutput::Save(path, dcc, &error))
        return true;
    ShowErrorBox(this, QStringLiteral("DCC не сохранён: %1").arg(error));
    return false;
}
