#include "ui/run/run_progress_page.h"
#include "protocol/flow_table.h"
#include "ui/calibration/live_chart.h"
#include "report/run_result_text.h"
#include "ui/run/run_widgets.h"
#include <QBoxLayout>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTime>
#include <cmath>

using namespace RunWidgets;
using RunResultText::Fixed3;

namespace {

QString verdict(const std::optional<bool> &fits)
{
    if (!fits)
        return QString();
    return *fits ? QStringLiteral("годен") : QStringLiteral("не годен");
}

QString stabilityMark(const char *who, double sigma, double limit, const QString &unit)
{
    const bool steady = sigma <= limit;
    return QStringLiteral("<span style=\"color:%1\">σ %2 %3 из %4 %5 %6</span>")
        .arg(steady ? QStringLiteral("#2E7D32") : QStringLiteral("#C62828"), QString::fromUtf8(who), Fixed3(sigma),
             Fixed3(limit), unit, steady ? QStringLiteral("✓") : QStringLiteral("…"));
}

} // namespace

TRunProgressPage::TRunProgressPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Page_Run"));
    Label_State = Label("Label_State", this);

    Tree_Points = new TRunPointTree(this);

    Chart_Point = new TLiveChart(QStringLiteral("Chart_Point"), this);
    Chart_Point->setTitle(QStringLiteral("Текущая точка"));
    Chart_Point->addSeries(QStringLiteral("Прибор, кг/ч"));
    Chart_Point->addSeries(QStringLiteral("Эталон, кг/ч"));
    // "Экспорт" in its corner with the legend moved clear of it.
    Chart_Point->setCornerButtons({});
    Chart_Point->setMinimumHeight(220);
    Chart_Temperature = new TLiveChart(QStringLiteral("Chart_Temperature"), this);
    Chart_Temperature->setTitle(QStringLiteral("Температура"));
    Chart_Temperature->addSeries(QStringLiteral("Уставка, °C"));
    Chart_Temperature->addSeries(QStringLiteral("Трубка, °C"));
    Chart_Temperature->addSeries(QStringLiteral("Эталон, °C"));
    Chart_Temperature->setCornerButtons({});
    Chart_Temperature->setMinimumHeight(220);
    Chart_Temperature->hide();
    Label_Stability = Label("Label_Stability", this);
    Label_Stability->setAccessibleName(QStringLiteral("Устойчивость"));

    Progress_Run = new QProgressBar(this);
    Progress_Run->setObjectName(QStringLiteral("Progress_Run"));
    Progress_Run->setAccessibleName(QStringLiteral("Ход прогона"));
    Label_TimeLeft = Label("Label_TimeLeft", this);
    Label_TimeLeft->setWordWrap(false);

    Button_Pause = Button("Button_Pause", QStringLiteral("Пауза"), this);
    Button_Resume = Button("Button_Resume", QStringLiteral("Продолжить"), this);
    Button_Retake = Button("Button_Retake", QStringLiteral("Переснять точку"), this);
    Button_Abort = Button("Button_Abort", QStringLiteral("Прервать"), this);

    Memo_Events = new QPlainTextEdit(this);
    Memo_Events->setObjectName(QStringLiteral("Memo_Events"));
    Memo_Events->setAccessibleName(QStringLiteral("События прогона"));
    Memo_Events->setReadOnly(true);
    Memo_Events->setMaximumBlockCount(2000);

    auto *right = new QVBoxLayout;
    right->addWidget(Chart_Point, 2);
    right->addWidget(Chart_Temperature, 2);
    right->addWidget(Label_Stability);
    right->addWidget(buildOperatorPanel());
    right->addWidget(buildTablePanel(), 2);
    right->addWidget(Memo_Events, 1);
    auto *columns = new QHBoxLayout;
    columns->addWidget(Tree_Points, 1);
    columns->addLayout(right, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Progress_Run, 1);
    buttons->addWidget(Label_TimeLeft);
    for (QPushButton *b : {Button_Pause, Button_Resume, Button_Retake, Button_Abort})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label_State);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);

    connect(Button_Pause, &QPushButton::clicked, this, &TRunProgressPage::Button_PauseClick);
    connect(Button_Resume, &QPushButton::clicked, this, &TRunProgressPage::Button_ResumeClick);
    connect(Button_Retake, &QPushButton::clicked, this, &TRunProgressPage::Button_RetakeClick);
    connect(Button_Abort, &QPushButton::clicked, this, &TRunProgressPage::Button_AbortClick);
    connect(Button_TableAbort, &QPushButton::clicked, this, &TRunProgressPage::Button_AbortClick);
    connect(Button_WriteTable, &QPushButton::clicked, this, &TRunProgressPage::Button_WriteTableClick);
    connect(Button_OperatorDone, &QPushButton::clicked, this, &TRunProgressPage::Button_OperatorDoneClick);
    connect(Edit_OperatorReference, &QLineEdit::returnPressed, this, &TRunProgressPage::Button_OperatorDoneClick);
}

QFrame *TRunProgressPage::buildOperatorPanel()
{
    Panel_Operator = new QFrame(this);
    Panel_Operator->setObjectName(QStringLiteral("Panel_Operator"));
    Panel_Operator->setFrameShape(QFrame::StyledPanel);
    Panel_Operator->setStyleSheet(QStringLiteral("#Panel_Operator { background: #FFF8E1; }"));
    Label_Operator = Label("Label_Operator", Panel_Operator);
    Edit_OperatorReference = Edit("Edit_OperatorReference", QStringLiteral("Показание эталона, кг/ч"), Panel_Operator);
    Button_OperatorDone = Button("Button_OperatorDone", QStringLiteral("Готово"), Panel_Operator);
    auto *operatorRow = new QHBoxLayout(Panel_Operator);
    operatorRow->addWidget(Label_Operator, 1);
    operatorRow->addWidget(Edit_OperatorReference);
    operatorRow->addWidget(Button_OperatorDone);
    Panel_Operator->hide();
    return Panel_Operator;
}

QFrame *TRunProgressPage::buildTablePanel()
{
    Panel_Table = new QFrame(this);
    Panel_Table->setObjectName(QStringLiteral("Panel_Table"));
    Panel_Table->setFrameShape(QFrame::StyledPanel);
    Label_Table = Label("Label_Table", Panel_Table);
    Table_Write = new QTableWidget(FlowTable::Points, 2, Panel_Table);
    Table_Write->setObjectName(QStringLiteral("Table_Write"));
    Table_Write->setAccessibleName(QStringLiteral("Таблица расхода к записи"));
    Table_Write->setHorizontalHeaderLabels({QStringLiteral("Эталон, кг/ч"), QStringLiteral("Прибор, Δt нс")});
    Table_Write->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Table_Write->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Button_WriteTable = Button("Button_WriteTable", QStringLiteral("Записать в прибор"), Panel_Table);
    Button_TableAbort = Button("Button_TableAbort", QStringLiteral("Прервать"), Panel_Table);
    Button_TableAbort->setAccessibleName(QStringLiteral("Прервать, не записывая таблицу"));
    auto *tableButtons = new QHBoxLayout;
    tableButtons->addStretch(1);
    tableButtons->addWidget(Button_WriteTable);
    tableButtons->addWidget(Button_TableAbort);
    auto *tableLayout = new QVBoxLayout(Panel_Table);
    tableLayout->addWidget(Label_Table);
    tableLayout->addWidget(Table_Write, 1);
    tableLayout->addLayout(tableButtons);
    Panel_Table->hide();
    return Panel_Table;
}

void TRunProgressPage::follow(TCalibrationRun *run, const RunOptions &options, const QString &rigDescription)
{
    m_run = run;
    m_plan = options.plan;
    m_timeScale = options.timeScale;
    m_asked.reset();
    m_current.reset();
    connect(run, &TCalibrationRun::stateChanged, this, &TRunProgressPage::onStateChanged);
    connect(run, &TCalibrationRun::pointStarted, this, &TRunProgressPage::onPointStarted);
    connect(run, &TCalibrationRun::settling, this, &TRunProgressPage::onSettling);
    connect(run, &TCalibrationRun::temperatureSettling, this, &TRunProgressPage::onTemperatureSettling);
    connect(run, &TCalibrationRun::pointTaken, this, &TRunProgressPage::onPointTaken);
    connect(run, &TCalibrationRun::tableReady, this, &TRunProgressPage::onTableReady);
    connect(run, &TCalibrationRun::twoPointReady, this, &TRunProgressPage::onTwoPointReady);
    connect(run, &TCalibrationRun::operatorNeeded, this, &TRunProgressPage::onOperatorNeeded);
    connect(run, &TCalibrationRun::paused, this, [this](const QString &reason) {
        note(QStringLiteral("Пауза: %1").arg(reason));
        showButtons();
    });
    connect(run, &TCalibrationRun::progress, this, &TRunProgressPage::onProgress);

    Memo_Events->clear();
    Panel_Table->hide();
    Panel_Operator->hide();
    Chart_Point->clearSeries();
    Chart_Temperature->clearSeries();
    Label_Stability->clear();
    Tree_Points->showPlan(options.plan);
    onProgress(0, Tree_Points->pointCount());
    note(QStringLiteral("Прогон начат: прибор %1, стенд %2").arg(options.meterSerial, rigDescription));
    showButtons();
}

void TRunProgressPage::note(const QString &text)
{
    Memo_Events->appendPlainText(QStringLiteral("%1  %2").arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")), text));
}

void TRunProgressPage::onStateChanged(RunState state, const QString &text)
{
    const QString title = RunStateTitle(state);
    Label_State->setText(text.isEmpty() || text == title ? title : QStringLiteral("%1: %2").arg(title, text));
    if (!text.isEmpty())
        note(text);
    if (m_current) {
        const auto [phase, index] = *m_current;
        const PointState now = Tree_Points->pointState(phase, index);
        if (state == RunState::Averaging)
            Tree_Points->setPointState(phase, index, PointState::Averaging);
        else if (state == RunState::Settling && now == PointState::Averaging)
            Tree_Points->setPointState(phase, index, PointState::Retry);
    }
    if (state != RunState::WaitingForOperator && m_asked) {
        m_asked.reset();
        Panel_Operator->hide();
    }
    if (state != RunState::AwaitingWrite)
        Panel_Table->hide();
    showButtons();
}

void TRunProgressPage::onPointStarted(RunPhase phase, int index, double targetFlow)
{
    m_current = {phase, index};
    const bool temperature = TRunPointTree::TemperaturePhase(phase);
    Tree_Points->startPoint(phase, index, temperature ? QStringLiteral("—") : Fixed3(targetFlow));
    Chart_Point->setVisible(!temperature);
    Chart_Temperature->setVisible(temperature);
    TLiveChart *chart = temperature ? Chart_Temperature : Chart_Point;
    chart->clearSeries();
    chart->setTitle(temperature ? QStringLiteral("%1, точка %2").arg(PhaseTitle(phase)).arg(index)
                                : QStringLiteral("%1, точка %2: %3 кг/ч").arg(PhaseTitle(phase)).arg(index).arg(Fixed3(targetFlow)));
    Label_Stability->clear();
}

void TRunProgressPage::onTemperatureSettling(double setpoint, double tube, double reference, double tubeSigma,
                                             double referenceSigma)
{
    const QDateTime now = QDateTime::currentDateTime();
    Chart_Temperature->append(0, now, setpoint);
    Chart_Temperature->append(1, now, tube);
    Chart_Temperature->append(2, now, reference);
    const QString unit = QStringLiteral("°C");
    Label_Stability->setText(stabilityMark("трубки", tubeSigma, m_plan.temperatureSigma, unit) + QStringLiteral(" &nbsp; ")
                             + stabilityMark("эталона", referenceSigma, m_plan.temperatureSigma, unit));
}

void TRunProgressPage::onSettling(double meterFlow, double referenceFlow, double meterSigma, double referenceSigma)
{
    const QDateTime now = QDateTime::currentDateTime();
    Chart_Point->append(0, now, meterFlow);
    Chart_Point->append(1, now, referenceFlow);
    const double qMax = m_run ? double(m_run->record().qMax) : 0.0;
    const double limit = m_plan.stabilitySigmaPercent * qMax / 100.0;
    const QString unit = QStringLiteral("кг/ч");
    Label_Stability->setText(stabilityMark("прибора", meterSigma, limit, unit) + QStringLiteral(" &nbsp; ")
                             + stabilityMark("эталона", referenceSigma, limit, unit));
}

void TRunProgressPage::onPointTaken(const RunPoint &p)
{
    if (p.temperature) {
        const QString text = RunResultText::TemperaturePointText(p);
        Tree_Points->setPointState(p.phase, p.index, PointState::Done, text);
        note(QStringLiteral("%1, точка %2: %3").arg(PhaseTitle(p.phase)).arg(p.index).arg(text));
        return;
    }
    QString text = RunResultText::PointError(p);
    if (p.fits)
        text += QStringLiteral(" — ") + verdict(p.fits);
    if (!p.settled)
        text += QStringLiteral(" (не установилась)");
    Tree_Points->setPointState(p.phase, p.index, PointState::Done, text);
    note(QStringLiteral("%1, точка %2: эталон %3 кг/ч, прибор %4 кг/ч %5")
             .arg(PhaseTitle(p.phase))
             .arg(p.index)
             .arg(Fixed3(p.referenceFlow), Fixed3(p.meterFlow), text));
}

void TRunProgressPage::onTableReady(const FlowTableSave::Values &v)
{
    Label_Table->setText(QStringLiteral("Таблица расхода готова (Q Max %1 кг/ч). Записать её в прибор? Перед записью "
                                        "калибровка прибора сохранена в снимке.")
                             .arg(Fixed3(double(v[FlowTable::QMaxIndex]))));
    Table_Write->setAccessibleName(QStringLiteral("Таблица расхода к записи"));
    QList<std::array<double, 2>> rows;
    for (int n = 1; n <= FlowTable::Points; ++n)
        rows.append({double(v[size_t(FlowTable::etalonIndex(n))]), double(v[size_t(FlowTable::priborIndex(n))])});
    showWriteRows({QStringLiteral("Эталон, кг/ч"), QStringLiteral("Прибор, Δt нс")}, rows);
    Panel_Table->show();
    Button_WriteTable->setFocus();
}

void TRunProgressPage::onTwoPointReady(CalibrationArea area, const TwoPointSave::Points &p)
{
    const bool thermometer = area == CalibrationArea::Thermometer;
    Label_Table->setText(QStringLiteral("Точки «%1» готовы. Записать их в прибор? Перед записью калибровка прибора "
                                        "сохранена в снимке.")
                             .arg(QString::fromUtf8(AreaSpecOf(area).title)));
    Table_Write->setAccessibleName(QStringLiteral("Точки «%1» к записи").arg(QString::fromUtf8(AreaSpecOf(area).title)));
    showWriteRows({QStringLiteral("Температура, °C"), thermometer ? QStringLiteral("Код АЦП") : QStringLiteral("Δt, нс")},
                  {{double(p[0]), double(p[1])}, {double(p[2]), double(p[3])}});
    Panel_Table->show();
    Button_WriteTable->setFocus();
}

void TRunProgressPage::showWriteRows(const QStringList &headings, const QList<std::array<double, 2>> &rows)
{
    Table_Write->setRowCount(int(rows.size()));
    Table_Write->setHorizontalHeaderLabels(headings);
    for (int r = 0; r < rows.size(); ++r) {
        Table_Write->setItem(r, 0, ReadOnlyItem(Fixed3(rows[r][0])));
        Table_Write->setItem(r, 1, ReadOnlyItem(Fixed3(rows[r][1])));
    }
}

void TRunProgressPage::onOperatorNeeded(OperatorRequest request, double targetFlow, const QString &text)
{
    Q_UNUSED(targetFlow);
    m_asked = request;
    Label_Operator->setText(text);
    const bool celsius = request == OperatorRequest::EnterReferenceTemperature;
    const bool typed = request == OperatorRequest::EnterReference || celsius;
    Edit_OperatorReference->setVisible(typed);
    Edit_OperatorReference->clear();
    Edit_OperatorReference->setStyleSheet(QString());
    Edit_OperatorReference->setToolTip(QString());
    Edit_OperatorReference->setAccessibleName(celsius ? QStringLiteral("Показание эталонного термометра, °C")
                                                      : QStringLiteral("Показание эталона, кг/ч"));
    Button_OperatorDone->setText(typed ? QStringLiteral("Принять")
                                 : request == OperatorRequest::SetTemperature ? QStringLiteral("Температура установлена")
                                                                              : QStringLiteral("Расход установлен"));
    Button_OperatorDone->setAccessibleName(Button_OperatorDone->text());
    Panel_Operator->show();
    if (typed)
        Edit_OperatorReference->setFocus();
    else
        Button_OperatorDone->setFocus();
    note(text);
}

void TRunProgressPage::Button_OperatorDoneClick()
{
    if (!m_run || !m_asked)
        return;
    const OperatorRequest request = *m_asked;
    const bool celsius = request == OperatorRequest::EnterReferenceTemperature;
    const std::optional<double> value = ParseNumber(Edit_OperatorReference->text());
    const bool typed = request == OperatorRequest::EnterReference || celsius;
    if (typed && !value) {
        Edit_OperatorReference->setStyleSheet(QStringLiteral("background: #FFCDD2"));
        Edit_OperatorReference->setToolTip(celsius ? QStringLiteral("Введите показание эталонного термометра числом, °C")
                                                   : QStringLiteral("Введите показание эталона числом, кг/ч"));
        return;
    }
    m_asked.reset();
    Panel_Operator->hide();
    switch (request) {
    case OperatorRequest::SetFlow: m_run->operatorFlowSet(); break;
    case OperatorRequest::SetTemperature: m_run->operatorTemperatureSet(); break;
    case OperatorRequest::EnterReference: m_run->operatorReference(*value); break;
    case OperatorRequest::EnterReferenceTemperature: m_run->operatorReferenceTemperature(*value); break;
    }
}

void TRunProgressPage::onProgress(int done, int total)
{
    Progress_Run->setRange(0, qMax(1, total));
    Progress_Run->setValue(done);
    // Each point at least fills the stability window and averages once.
    const double perPoint = (m_plan.stabilityWindowSeconds + m_plan.averagingSeconds) / qMax(1e-9, m_timeScale);
    const int left = int(std::lround(perPoint * qMax(0, total - done)));
    Label_TimeLeft->setText(QStringLiteral("осталось ≈ %1 мин %2 с").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0')));
}

void TRunProgressPage::showButtons()
{
    const RunState s = m_run ? m_run->state() : RunState::Idle;
    const bool inPoint = s == RunState::Settling || s == RunState::Averaging || s == RunState::WaitingForOperator;
    const bool live = s != RunState::Idle && s != RunState::Finished && s != RunState::Restoring;
    Button_Pause->setEnabled(live && s != RunState::Paused && s != RunState::AwaitingWrite && s != RunState::Writing);
    Button_Resume->setEnabled(s == RunState::Paused);
    Button_Retake->setEnabled(inPoint || s == RunState::Paused);
    Button_Abort->setEnabled(live);
    Button_WriteTable->setEnabled(s == RunState::AwaitingWrite);
    Button_TableAbort->setEnabled(s == RunState::AwaitingWrite);
}

void TRunProgressPage::Button_PauseClick()
{
    if (m_run)
        m_run->pause();
    showButtons();
}

void TRunProgressPage::Button_ResumeClick()
{
    if (m_run)
        m_run->resume();
    showButtons();
}

void TRunProgressPage::Button_RetakeClick()
{
    if (m_run)
        m_run->retakePoint();
    showButtons();
}

void TRunProgressPage::Button_AbortClick()
{
    if (m_run)
        m_run->abort();
}

void TRunProgressPage::Button_WriteTableClick()
{
    if (!m_run)
        return;
    Panel_Table->hide();
    m_run->confirmTableWrite();
}

void TRunProgressPage::showEnd(const RunRecord &record)
{
    Tree_Points->skipTheRest();
    Panel_Table->hide();
    Panel_Operator->hide();
    showButtons();
    note(QStringLiteral("Прогон %1%2")
             .arg(EndTitle(record.end),
                  record.endReason.isEmpty() ? QString() : QStringLiteral(": ") + record.endReason));
    if (const QString rig = RigSafeText(record); !rig.isEmpty())
        note(rig);
}
