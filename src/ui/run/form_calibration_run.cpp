#include "ui/run/form_calibration_run.h"
#include "link/dm1.h"
#include "link/meter_ownership.h"
#include "protocol/flow_table.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_reader.h"
#include "records/calibration_records.h"
#include "records/calibration_restorer.h"
#include "rig/rig_factory.h"
#include "ui/calibration/live_chart.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/message_presenter.h"
#include "ui/common/placement_store.h"
#include "ui/common/ui_fonts.h"
#include "ui/records/dialog_restore.h"
#include "ui/records/form_history.h"
#include "ui/run/run_result_view.h"
#include <QBoxLayout>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <bit>
#include <cmath>

Q_LOGGING_CATEGORY(lcRunWindow, "kestro.ui.run")

namespace {

const QColor BadCell(255, 205, 210);

// The plan's numbers below the points, by their file names: a refusal names the row.
struct SettingRow
{
    const char *key;
    const char *title;
    double RunPlan::*value;
};
const SettingRow SettingRows[] = {
    {"tolerance_percent", "Допуск погрешности, ± %", &RunPlan::tolerancePercent},
    {"averaging_seconds", "Время усреднения, с", &RunPlan::averagingSeconds},
    {"sample_period_seconds", "Период опроса при установлении, с", &RunPlan::samplePeriodSeconds},
    {"stability_window_seconds", "Окно устойчивости, с", &RunPlan::stabilityWindowSeconds},
    {"stability_sigma_percent", "Порог σ, % от Q Max", &RunPlan::stabilitySigmaPercent},
    {"stability_drift_percent", "Порог дрейфа, % от Q Max", &RunPlan::stabilityDriftPercent},
    {"flow_tolerance_percent", "Отклонение расхода стенда, % от Q Max", &RunPlan::flowTolerancePercent},
    {"settle_timeout_seconds", "Предел установления точки, с", &RunPlan::settleTimeoutSeconds},
    {"max_as_found_error_percent", "Предел расхождения прибора и эталона, %", &RunPlan::maxAsFoundErrorPercent},
};

const char VerificationKey[] = "verification_percent";
const char CalibrationKey[] = "calibration_percent";

// Rig choices; the built-in rigs follow these.
struct RigChoice
{
    const char *key;
    const char *title;
};
const RigChoice RigChoices[] = {
    {"sim", "Симулятор стенда (Modbus TCP)"},
    {"modbus-tcp", "Стенд Modbus TCP"},
    {"modbus-rtu", "Стенд Modbus RTU"},
    {"operator", "Без связи: расход и эталон вводит оператор"},
};
const QString BuiltInPrefix = QStringLiteral("builtin:");

QSettings settings()
{
    return QSettings(QStringLiteral("Velnor"), QStringLiteral("KestroLink"));
}

// Both decimal marks are typed; the text of a number is the C locale's.
std::optional<double> parseNumber(const QString &text)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

QString num(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

QString numberText(double v)
{
    return QString::number(v, 'g', 10);
}

QLabel *label(const char *name, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setWordWrap(true);
    return l;
}

QLineEdit *lineEdit(const char *name, const QString &accessible, QWidget *parent)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setAccessibleName(accessible);
    return e;
}

QPushButton *button(const char *name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(text);
    return b;
}

QTableWidgetItem *readOnlyItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

QString verdict(const std::optional<bool> &fits)
{
    if (!fits)
        return QString();
    return *fits ? QStringLiteral("годен") : QStringLiteral("не годен");
}

} // namespace

QString TFormCalibrationRun::PointStateTitle(PointState state)
{
    switch (state) {
    case PointState::Waiting: return QStringLiteral("ждёт");
    case PointState::Settling: return QStringLiteral("устанавливается");
    case PointState::Averaging: return QStringLiteral("усреднение");
    case PointState::Done: return QStringLiteral("готово");
    case PointState::Retry: return QStringLiteral("повтор");
    case PointState::Skipped: return QStringLiteral("пропущено");
    }
    return QString();
}

TFormCalibrationRun::TFormCalibrationRun(TDM_1 &dm, TCalibrationRecords &records, const RunWindowSetup &setup,
                                         QWidget *owner)
    : TGuardedForm(WindowGuards::CalibrationRunName, owner), m_dm(dm), m_records(records), m_setup(setup),
      m_reader(new TCalibrationReader(dm, TCalibrationReader::DefaultAnswerTimeoutMs, this)),
      m_restorer(new TCalibrationRestorer(dm, records.store(), TCalibrationReader::DefaultAnswerTimeoutMs, this))
{
    setObjectName(QStringLiteral("Form_CalibrationRun"));
    setWindowTitle(WindowGuards::CalibrationRunTitle);
    setFont(UiFont(8));

    Pages = new QStackedWidget(this);
    Pages->setObjectName(QStringLiteral("Pages"));
    Page_Plan = buildPlanPage();
    Page_Run = buildRunPage();
    Page_Result = buildResultPage();
    for (QWidget *page : {Page_Plan, Page_Run, Page_Result})
        Pages->addWidget(page);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(Pages);
    resize(1000, 720);

    ClaimGuard();
    m_placement = std::make_unique<TPlacementStore>(this, QStringLiteral("FRunSteps"));
    connectHandlers();
    recall();
    fillPlan(RunPlanFile::Default());
    showRigFields();
    m_qMax = [this] {
        const auto raw = m_dm.registerImage().range(RegisterSpace::Params, FlowTable::TableRegister, 2);
        return raw ? std::bit_cast<float>(quint32((*raw)[0]) | quint32((*raw)[1]) << 16) : 0.0f;
    }();
    showFlows();
    readQMax();
}

TFormCalibrationRun::~TFormCalibrationRun()
{
    TMeterOwnership::of(m_dm).release(this);
    // The run goes before the rig it drives.
    m_run.reset();
    m_placement->saveOnDestroy();
}

QWidget *TFormCalibrationRun::buildPlanPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("Page_Plan"));

    auto *who = new QGroupBox(QStringLiteral("Прибор и оператор"), page);
    auto *whoForm = new QFormLayout(who);
    Edit_Serial = lineEdit("Edit_Serial", QStringLiteral("Заводской номер прибора"), who);
    Edit_Serial->setPlaceholderText(QStringLiteral("отсканируйте или введите"));
    Edit_Operator = lineEdit("Edit_Operator", QStringLiteral("Оператор"), who);
    Label_QMax = label("Label_QMax", who);
    whoForm->addRow(QStringLiteral("Заводской номер"), Edit_Serial);
    whoForm->addRow(QStringLiteral("Оператор"), Edit_Operator);
    whoForm->addRow(QStringLiteral("Q Max прибора"), Label_QMax);

    auto *rigBox = new QGroupBox(QStringLiteral("Стенд и эталон"), page);
    auto *rigForm = new QFormLayout(rigBox);
    ComboBox_Rig = new QComboBox(rigBox);
    ComboBox_Rig->setObjectName(QStringLiteral("ComboBox_Rig"));
    ComboBox_Rig->setAccessibleName(QStringLiteral("Стенд"));
    for (const RigChoice &c : RigChoices)
        ComboBox_Rig->addItem(QString::fromUtf8(c.title), QString::fromLatin1(c.key));
    for (int i = 0; i < m_setup.builtInRigs.size(); ++i)
        ComboBox_Rig->addItem(m_setup.builtInRigs[i].title, BuiltInPrefix + QString::number(i));
    Edit_RigAddress = lineEdit("Edit_RigAddress", QStringLiteral("Адрес стенда"), rigBox);
    Edit_RigAddress->setPlaceholderText(QStringLiteral("хост:порт"));
    Edit_RigDevice = lineEdit("Edit_RigDevice", QStringLiteral("Последовательный порт стенда"), rigBox);
    Edit_RigDevice->setPlaceholderText(QStringLiteral("/dev/ttyUSB0"));
    Edit_TimeScale = lineEdit("Edit_TimeScale", QStringLiteral("Ускорение времени симулятора"), rigBox);
    Edit_TimeScale->setText(QStringLiteral("1"));
    Edit_RigMap = lineEdit("Edit_RigMap", QStringLiteral("Файл карты регистров"), rigBox);
    Edit_RigMap->setPlaceholderText(QStringLiteral("карта по умолчанию"));
    Button_RigMap = button("Button_RigMap", QStringLiteral("Выбрать…"), rigBox);
    Button_RigMap->setAccessibleName(QStringLiteral("Выбрать файл карты регистров"));
    auto *mapRow = new QHBoxLayout;
    mapRow->addWidget(Edit_RigMap, 1);
    mapRow->addWidget(Button_RigMap);
    Edit_RefName = lineEdit("Edit_RefName", QStringLiteral("Эталонный расходомер"), rigBox);
    Edit_RefCertificate = lineEdit("Edit_RefCertificate", QStringLiteral("Свидетельство эталона"), rigBox);
    Date_RefDue = new QDateEdit(QDate::currentDate().addYears(1), rigBox);
    Date_RefDue->setObjectName(QStringLiteral("Date_RefDue"));
    Date_RefDue->setAccessibleName(QStringLiteral("Эталон действителен до"));
    Date_RefDue->setCalendarPopup(true);
    Button_CheckRig = button("Button_CheckRig", QStringLiteral("Проверить связь"), rigBox);
    Label_CheckRig = label("Label_CheckRig", rigBox);
    auto *checkRow = new QHBoxLayout;
    checkRow->addWidget(Button_CheckRig);
    checkRow->addWidget(Label_CheckRig, 1);
    rigForm->addRow(QStringLiteral("Стенд"), ComboBox_Rig);
    rigForm->addRow(QStringLiteral("Адрес"), Edit_RigAddress);
    rigForm->addRow(QStringLiteral("Ускорение времени"), Edit_TimeScale);
    rigForm->addRow(QStringLiteral("Порт RTU"), Edit_RigDevice);
    rigForm->addRow(QStringLiteral("Карта регистров"), mapRow);
    rigForm->addRow(QStringLiteral("Эталон"), Edit_RefName);
    rigForm->addRow(QStringLiteral("Свидетельство"), Edit_RefCertificate);
    rigForm->addRow(QStringLiteral("Действительно до"), Date_RefDue);
    rigForm->addRow(checkRow);

    Table_Points = new QTableWidget(0, 3, page);
    Table_Points->setObjectName(QStringLiteral("Table_Points"));
    Table_Points->setAccessibleName(QStringLiteral("Точки плана"));
    Table_Points->setHorizontalHeaderLabels(
        {QStringLiteral("Точка"), QStringLiteral("% от Q Max"), QStringLiteral("Расход, кг/ч")});
    Table_Points->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Table_Points->verticalHeader()->hide();

    Table_Settings = new QTableWidget(int(std::size(SettingRows)), 2, page);
    Table_Settings->setObjectName(QStringLiteral("Table_Settings"));
    Table_Settings->setAccessibleName(QStringLiteral("Параметры плана"));
    Table_Settings->setHorizontalHeaderLabels({QStringLiteral("Параметр"), QStringLiteral("Значение")});
    Table_Settings->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    Table_Settings->verticalHeader()->hide();
    for (int r = 0; r < int(std::size(SettingRows)); ++r)
        Table_Settings->setItem(r, 0, readOnlyItem(QString::fromUtf8(SettingRows[r].title)));

    Button_LoadPlan = button("Button_LoadPlan", QStringLiteral("Загрузить план…"), page);
    Label_PlanError = label("Label_PlanError", page);
    Label_PlanError->setStyleSheet(QStringLiteral("color: #B71C1C"));
    Button_Start = button("Button_Start", QStringLiteral("Начать"), page);

    auto *left = new QVBoxLayout;
    left->addWidget(who);
    left->addWidget(rigBox);
    left->addWidget(Table_Settings, 1);
    auto *columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    columns->addWidget(Table_Points, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(Button_LoadPlan);
    bottom->addWidget(Label_PlanError, 1);
    bottom->addWidget(Button_Start);
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(columns, 1);
    layout->addLayout(bottom);
    return page;
}

QWidget *TFormCalibrationRun::buildRunPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("Page_Run"));
    Label_State = label("Label_State", page);

    Tree_Points = new QTreeWidget(page);
    Tree_Points->setObjectName(QStringLiteral("Tree_Points"));
    Tree_Points->setAccessibleName(QStringLiteral("Точки прогона"));
    Tree_Points->setHeaderLabels({QStringLiteral("Точка"), QStringLiteral("Расход, кг/ч"), QStringLiteral("Состояние"),
                                  QStringLiteral("Погрешность")});

    Chart_Point = new TLiveChart(QStringLiteral("Chart_Point"), page);
    Chart_Point->setTitle(QStringLiteral("Текущая точка"));
    Chart_Point->addSeries(QStringLiteral("Прибор, кг/ч"));
    Chart_Point->addSeries(QStringLiteral("Эталон, кг/ч"));
    Chart_Point->setMinimumHeight(220);
    Label_Stability = label("Label_Stability", page);
    Label_Stability->setAccessibleName(QStringLiteral("Устойчивость"));

    Progress_Run = new QProgressBar(page);
    Progress_Run->setObjectName(QStringLiteral("Progress_Run"));
    Progress_Run->setAccessibleName(QStringLiteral("Ход прогона"));
    Label_TimeLeft = label("Label_TimeLeft", page);

    Button_Pause = button("Button_Pause", QStringLiteral("Пауза"), page);
    Button_Resume = button("Button_Resume", QStringLiteral("Продолжить"), page);
    Button_Retake = button("Button_Retake", QStringLiteral("Переснять точку"), page);
    Button_Abort = button("Button_Abort", QStringLiteral("Прервать"), page);

    Panel_Operator = new QFrame(page);
    Panel_Operator->setObjectName(QStringLiteral("Panel_Operator"));
    Panel_Operator->setFrameShape(QFrame::StyledPanel);
    Panel_Operator->setStyleSheet(QStringLiteral("#Panel_Operator { background: #FFF8E1; }"));
    Label_Operator = label("Label_Operator", Panel_Operator);
    Edit_OperatorReference = lineEdit("Edit_OperatorReference", QStringLiteral("Показание эталона, кг/ч"), Panel_Operator);
    Button_OperatorDone = button("Button_OperatorDone", QStringLiteral("Готово"), Panel_Operator);
    auto *operatorRow = new QHBoxLayout(Panel_Operator);
    operatorRow->addWidget(Label_Operator, 1);
    operatorRow->addWidget(Edit_OperatorReference);
    operatorRow->addWidget(Button_OperatorDone);
    Panel_Operator->hide();

    Panel_Table = new QFrame(page);
    Panel_Table->setObjectName(QStringLiteral("Panel_Table"));
    Panel_Table->setFrameShape(QFrame::StyledPanel);
    Label_Table = label("Label_Table", Panel_Table);
    Table_Write = new QTableWidget(FlowTable::Points, 2, Panel_Table);
    Table_Write->setObjectName(QStringLiteral("Table_Write"));
    Table_Write->setAccessibleName(QStringLiteral("Таблица расхода к записи"));
    Table_Write->setHorizontalHeaderLabels({QStringLiteral("Эталон, кг/ч"), QStringLiteral("Прибор, Δt нс")});
    Table_Write->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Table_Write->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Button_WriteTable = button("Button_WriteTable", QStringLiteral("Записать в прибор"), Panel_Table);
    Button_TableAbort = button("Button_TableAbort", QStringLiteral("Прервать"), Panel_Table);
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

    Memo_Events = new QPlainTextEdit(page);
    Memo_Events->setObjectName(QStringLiteral("Memo_Events"));
    Memo_Events->setAccessibleName(QStringLiteral("События прогона"));
    Memo_Events->setReadOnly(true);
    Memo_Events->setMaximumBlockCount(2000);

    auto *right = new QVBoxLayout;
    right->addWidget(Chart_Point, 2);
    right->addWidget(Label_Stability);
    right->addWidget(Panel_Operator);
    right->addWidget(Panel_Table, 2);
    right->addWidget(Memo_Events, 1);
    auto *columns = new QHBoxLayout;
    columns->addWidget(Tree_Points, 2);
    columns->addLayout(right, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Progress_Run, 1);
    buttons->addWidget(Label_TimeLeft);
    for (QPushButton *b : {Button_Pause, Button_Resume, Button_Retake, Button_Abort})
        buttons->addWidget(b);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(Label_State);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);
    return page;
}

QWidget *TFormCalibrationRun::buildResultPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("Page_Result"));
    View_Result = new TRunResultView(page);
    View_Result->setObjectName(QStringLiteral("View_Result"));
    Label_Restore = label("Label_Restore", page);
    Button_NewRun = button("Button_NewRun", QStringLiteral("Новый прогон"), page);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(Label_Restore, 1);
    bottom->addWidget(Button_NewRun);
    auto *layout = new QVBoxLayout(page);
    layout->addWidget(View_Result, 1);
    layout->addLayout(bottom);
    return page;
}

void TFormCalibrationRun::connectHandlers()
{
    connect(ComboBox_Rig, &QComboBox::currentIndexChanged, this, &TFormCalibrationRun::showRigFields);
    connect(Button_RigMap, &QPushButton::clicked, this, [this] {
        const QString path =
            AskOpenFileName(this, QStringLiteral("Карта регистров стенда"), QStringLiteral("JSON (*.json)"));
        if (!path.isEmpty())
            Edit_RigMap->setText(path);
    });
    connect(Button_LoadPlan, &QPushButton::clicked, this, [this] {
        const QString path = AskOpenFileName(this, QStringLiteral("План калибровки"), QStringLiteral("JSON (*.json)"));
        if (!path.isEmpty())
            loadPlan(path);
    });
    connect(Button_CheckRig, &QPushButton::clicked, this, &TFormCalibrationRun::Button_CheckRigClick);
    connect(Button_Start, &QPushButton::clicked, this, &TFormCalibrationRun::Button_StartClick);
    connect(Button_Pause, &QPushButton::clicked, this, &TFormCalibrationRun::Button_PauseClick);
    connect(Button_Resume, &QPushButton::clicked, this, &TFormCalibrationRun::Button_ResumeClick);
    connect(Button_Retake, &QPushButton::clicked, this, &TFormCalibrationRun::Button_RetakeClick);
    connect(Button_Abort, &QPushButton::clicked, this, &TFormCalibrationRun::Button_AbortClick);
    connect(Button_TableAbort, &QPushButton::clicked, this, &TFormCalibrationRun::Button_AbortClick);
    connect(Button_WriteTable, &QPushButton::clicked, this, &TFormCalibrationRun::Button_WriteTableClick);
    connect(Button_OperatorDone, &QPushButton::clicked, this, &TFormCalibrationRun::Button_OperatorDoneClick);
    connect(Edit_OperatorReference, &QLineEdit::returnPressed, this, &TFormCalibrationRun::Button_OperatorDoneClick);
    connect(Button_NewRun, &QPushButton::clicked, this, [this] {
        Label_PlanError->clear();
        Button_Start->setEnabled(true);
        Pages->setCurrentWidget(Page_Plan);
    });
    // A percent typed in the table shows its flow at once.
    connect(Table_Points, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (item->column() == 1)
            showFlows();
    });
    connect(View_Result, &TRunResultView::restoreRequested, this, &TFormCalibrationRun::restoreSnapshot);
    connect(View_Result, &TRunResultView::openRecordRequested, this, &TFormCalibrationRun::openHistory);
    connect(&m_dm, &TDM_1::registersTaken, this, [this](int space, int first, int count) {
        if (space != int(RegisterSpace::Params) || first > FlowTable::TableRegister
            || first + count < FlowTable::TableRegister + 2)
            return;
        const auto raw = m_dm.registerImage().range(RegisterSpace::Params, FlowTable::TableRegister, 2);
        if (!raw)
            return;
        m_qMax = std::bit_cast<float>(quint32((*raw)[0]) | quint32((*raw)[1]) << 16);
        showFlows();
    });
    connect(&m_dm, &TDM_1::portOpened, this, &TFormCalibrationRun::readQMax);

    connect(m_reader, &TCalibrationReader::finished, this, [this] {
        if (m_restoreTarget == 0)
            return;
        // Outside the decoder's delivery: a dialog follows.
        QMetaObject::invokeMethod(
            this,
            [this, now = m_reader->snapshot(SnapshotReason::ManualBackup)] {
                const std::optional<Snapshot> target = m_records.store().get(m_restoreTarget);
                if (!target) {
                    Label_Restore->setText(QStringLiteral("Снимок №%1 не прочитан: %2")
                                               .arg(m_restoreTarget)
                                               .arg(m_records.store().lastError()));
                    m_restoreTarget = 0;
                    TMeterOwnership::of(m_dm).release(this);
                    return;
                }
                auto *dialog = new TDialog_Restore(*target, now, this);
                dialog->setAttribute(Qt::WA_DeleteOnClose);
                connect(dialog, &QDialog::finished, this, [this, dialog, target = *target](int result) {
                    if (result != QDialog::Accepted) {
                        Label_Restore->setText(QStringLiteral("Восстановление отменено"));
                        m_restoreTarget = 0;
                        TMeterOwnership::of(m_dm).release(this);
                        return;
                    }
                    Label_Restore->setText(QStringLiteral("Восстановление…"));
                    m_restorer->start(target, dialog->chosenAreas());
                });
                dialog->open();
            },
            Qt::QueuedConnection);
    });
    connect(m_reader, &TCalibrationReader::failed, this, [this](const QString &message) {
        if (m_restoreTarget == 0)
            return;
        m_restoreTarget = 0;
        TMeterOwnership::of(m_dm).release(this);
        Label_Restore->setText(message);
    });
    connect(m_restorer, &TCalibrationRestorer::stageChanged, this,
            [this](const QString &stage) { Label_Restore->setText(stage); });
    connect(m_restorer, &TCalibrationRestorer::finished, this, &TFormCalibrationRun::onRestoreFinished);
}

void TFormCalibrationRun::recall()
{
    QSettings s = settings();
    Edit_Operator->setText(s.value(QStringLiteral("run/operator")).toString());
    Edit_RefName->setText(s.value(QStringLiteral("run/reference_name")).toString());
    Edit_RefCertificate->setText(s.value(QStringLiteral("run/reference_certificate")).toString());
    const QDate due = s.value(QStringLiteral("run/reference_due_date")).toDate();
    if (due.isValid())
        Date_RefDue->setDate(due);
    const int rig = ComboBox_Rig->findData(s.value(QStringLiteral("run/rig")).toString());
    if (rig >= 0)
        ComboBox_Rig->setCurrentIndex(rig);
    Edit_RigAddress->setText(s.value(QStringLiteral("run/rig_address")).toString());
    Edit_RigDevice->setText(s.value(QStringLiteral("run/rig_device")).toString());
    Edit_RigMap->setText(s.value(QStringLiteral("run/rig_map")).toString());
}

void TFormCalibrationRun::remember() const
{
    QSettings s = settings();
    s.setValue(QStringLiteral("run/operator"), Edit_Operator->text().trimmed());
    s.setValue(QStringLiteral("run/reference_name"), Edit_RefName->text().trimmed());
    s.setValue(QStringLiteral("run/reference_certificate"), Edit_RefCertificate->text().trimmed());
    s.setValue(QStringLiteral("run/reference_due_date"), Date_RefDue->date());
    s.setValue(QStringLiteral("run/rig"), ComboBox_Rig->currentData().toString());
    s.setValue(QStringLiteral("run/rig_address"), Edit_RigAddress->text().trimmed());
    s.setValue(QStringLiteral("run/rig_device"), Edit_RigDevice->text().trimmed());
    s.setValue(QStringLiteral("run/rig_map"), Edit_RigMap->text().trimmed());
}

void TFormCalibrationRun::fillPlan(const RunPlan &plan)
{
    m_plan = plan;
    const QSignalBlocker quiet(Table_Points);
    Table_Points->setRowCount(0);
    const auto addRows = [this](const QList<double> &percents, const QString &title) {
        for (int i = 0; i < percents.size(); ++i) {
            const int row = Table_Points->rowCount();
            Table_Points->insertRow(row);
            Table_Points->setItem(row, 0, readOnlyItem(QStringLiteral("%1 %2").arg(title).arg(i + 1)));
            Table_Points->setItem(row, 1, new QTableWidgetItem(numberText(percents[i])));
            Table_Points->setItem(row, 2, readOnlyItem(QString()));
        }
    };
    addRows(plan.verificationPercent, QStringLiteral("Поверка"));
    addRows(plan.calibrationPercent, QStringLiteral("Калибровка"));
    for (int r = 0; r < int(std::size(SettingRows)); ++r)
        Table_Settings->setItem(r, 1, new QTableWidgetItem(numberText(plan.*(SettingRows[r].value))));
}

bool TFormCalibrationRun::loadPlan(const QString &path)
{
    QString error;
    const std::optional<RunPlan> plan = RunPlanFile::Load(path, &error);
    if (!plan) {
        Label_PlanError->setText(QStringLiteral("План %1 не принят: %2").arg(path, error));
        return false;
    }
    fillPlan(*plan);
    clearMarks();
    showFlows();
    Label_PlanError->setText(QStringLiteral("План «%1» загружен").arg(plan->name));
    return true;
}

void TFormCalibrationRun::showRigFields()
{
    const QString key = ComboBox_Rig->currentData().toString();
    Edit_RigAddress->setEnabled(key == QLatin1String("sim") || key == QLatin1String("modbus-tcp"));
    Edit_RigDevice->setEnabled(key == QLatin1String("modbus-rtu"));
    Edit_TimeScale->setEnabled(key == QLatin1String("sim"));
    const bool map = key.startsWith(QLatin1String("modbus-"));
    Edit_RigMap->setEnabled(map);
    Button_RigMap->setEnabled(map);
}

void TFormCalibrationRun::readQMax()
{
    if (!m_dm.isPortOpen())
        return;
    m_dm.sendUnderRecoveryRule([this] { SendReadParams(m_dm, FlowTable::TableRegister, 2); });
}

void TFormCalibrationRun::showFlows()
{
    const bool known = m_qMax > 0.0f && std::isfinite(m_qMax);
    Label_QMax->setText(known ? QStringLiteral("%1 кг/ч").arg(double(m_qMax), 0, 'g', 7)
                              : QStringLiteral("неизвестен: прибор не ответил"));
    const QSignalBlocker quiet(Table_Points);
    for (int r = 0; r < Table_Points->rowCount(); ++r) {
        const std::optional<double> percent = parseNumber(Table_Points->item(r, 1)->text());
        Table_Points->item(r, 2)->setText(known && percent ? num(*percent * double(m_qMax) / 100.0, 1) : QString());
    }
}

void TFormCalibrationRun::clearMarks()
{
    for (QTableWidget *t : {Table_Points, Table_Settings}) {
        const QSignalBlocker quiet(t);
        for (int r = 0; r < t->rowCount(); ++r) {
            if (QTableWidgetItem *item = t->item(r, 1)) {
                item->setData(Qt::BackgroundRole, QVariant());
                item->setToolTip(QString());
            }
        }
    }
}

void TFormCalibrationRun::markCell(QTableWidgetItem *item, const QString &message)
{
    if (!item)
        return;
    const QSignalBlocker quiet(item->tableWidget());
    item->setBackground(BadCell);
    item->setToolTip(message);
    item->tableWidget()->scrollToItem(item);
}

QTableWidgetItem *TFormCalibrationRun::cellOf(const QString &field) const
{
    // "calibration_percent[3]", "verification_percent", "averaging_seconds".
    const qsizetype bracket = field.indexOf(QLatin1Char('['));
    const QString key = bracket < 0 ? field : field.left(bracket);
    const int index = bracket < 0 ? 0 : field.mid(bracket + 1).chopped(1).toInt();
    const int verification = int(m_plan.verificationPercent.size());
    if (key == QLatin1String(VerificationKey))
        return Table_Points->item(index, 1);
    if (key == QLatin1String(CalibrationKey))
        return Table_Points->item(verification + index, 1);
    for (int r = 0; r < int(std::size(SettingRows)); ++r) {
        if (key == QLatin1String(SettingRows[r].key))
            return Table_Settings->item(r, 1);
    }
    return nullptr;
}

std::optional<RunPlan> TFormCalibrationRun::planFromCells(QString *error)
{
    clearMarks();
    RunPlan plan = m_plan;
    const int verification = int(m_plan.verificationPercent.size());
    plan.verificationPercent.clear();
    plan.calibrationPercent.clear();
    const auto bad = [&](QTableWidgetItem *item, const QString &field) {
        *error = QStringLiteral("%1: «%2» не число").arg(field, item->text());
        markCell(item, *error);
        return std::nullopt;
    };
    for (int r = 0; r < Table_Points->rowCount(); ++r) {
        QTableWidgetItem *item = Table_Points->item(r, 1);
        const std::optional<double> v = parseNumber(item->text());
        const bool isVerification = r < verification;
        const QString field = QStringLiteral("%1[%2]")
                                  .arg(QLatin1String(isVerification ? VerificationKey : CalibrationKey))
                                  .arg(isVerification ? r : r - verification);
        if (!v)
            return bad(item, field);
        (isVerification ? plan.verificationPercent : plan.calibrationPercent).append(*v);
    }
    for (int r = 0; r < int(std::size(SettingRows)); ++r) {
        QTableWidgetItem *item = Table_Settings->item(r, 1);
        const std::optional<double> v = parseNumber(item->text());
        if (!v)
            return bad(item, QLatin1String(SettingRows[r].key));
        plan.*(SettingRows[r].value) = *v;
    }
    if (!RunPlanFile::Check(plan, error)) {
        markCell(cellOf(error->section(QLatin1Char(':'), 0, 0)), *error);
        return std::nullopt;
    }
    return plan;
}

std::unique_ptr<TRig> TFormCalibrationRun::makeRig(QString *error, double *timeScale)
{
    *timeScale = 1.0;
    const QString key = ComboBox_Rig->currentData().toString();
    if (key.startsWith(BuiltInPrefix)) {
        const int n = key.mid(BuiltInPrefix.size()).toInt();
        const RunWindowSetup::BuiltInRig &rig = m_setup.builtInRigs.at(n);
        *timeScale = rig.timeScale;
        return rig.make(nullptr);
    }
    const QString address = Edit_RigAddress->text().trimmed();
    QString rigName = key;
    QString host;
    if (key == QLatin1String("sim")) {
        const std::optional<double> scale = parseNumber(Edit_TimeScale->text());
        if (!scale || !(*scale > 0) || *scale > 1000) {
            *error = QStringLiteral("Ускорение времени симулятора «%1»: нужно число больше 0 и не больше 1000")
                         .arg(Edit_TimeScale->text());
            return nullptr;
        }
        *timeScale = *scale;
    }
    if (key == QLatin1String("sim") && !address.isEmpty()) {
        const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
        host = colon < 0 ? QString() : address.left(colon);
        rigName = QStringLiteral("sim:") + address.mid(colon + 1);
    } else if (key == QLatin1String("modbus-tcp")) {
        rigName = QStringLiteral("modbus:tcp://") + address;
    } else if (key == QLatin1String("modbus-rtu")) {
        rigName = QStringLiteral("modbus:rtu:") + Edit_RigDevice->text().trimmed();
    }
    const QString mapPath = key.startsWith(QLatin1String("modbus-")) ? Edit_RigMap->text().trimmed() : QString();
    std::optional<RigConfig> config = MakeRigConfig(rigName, mapPath, error);
    if (!config)
        return nullptr;
    if (!host.isEmpty())
        config->host = host;
    return MakeRig(*config, nullptr);
}

void TFormCalibrationRun::refuse(const QString &message)
{
    qCInfo(lcRunWindow) << "start refused:" << message;
    Label_PlanError->setText(message);
    Button_Start->setEnabled(true);
}

void TFormCalibrationRun::Button_CheckRigClick()
{
    QString error;
    double scale = 1.0;
    m_checkRig = makeRig(&error, &scale);
    if (!m_checkRig) {
        Label_CheckRig->setText(error);
        return;
    }
    TRig *rig = m_checkRig.get();
    Button_CheckRig->setEnabled(false);
    Label_CheckRig->setText(QStringLiteral("Связь со стендом %1…").arg(rig->description()));
    const auto done = [this](const QString &text) {
        Label_CheckRig->setText(text);
        Button_CheckRig->setEnabled(true);
        // Not from inside the rig's own signal.
        QMetaObject::invokeMethod(this, [this] { m_checkRig.reset(); }, Qt::QueuedConnection);
    };
    connect(rig, &TRig::failed, this, [rig, done](const QString &message) {
        rig->close();
        done(QStringLiteral("Нет связи: %1").arg(message));
    });
    connect(rig, &TRig::opened, this, [rig, done] {
        if (!rig->readsReference()) {
            rig->close();
            done(QStringLiteral("%1: показания эталона вводит оператор").arg(rig->description()));
            return;
        }
        rig->readReference();
    });
    connect(rig, &TRig::reading, this, [rig, done](const RigReading &r) {
        rig->close();
        QString text = QStringLiteral("Эталон: %1 кг/ч").arg(num(r.referenceFlow, 3));
        if (r.rigFlow)
            text += QStringLiteral(", расход стенда: %1 кг/ч").arg(num(*r.rigFlow, 3));
        done(text);
    });
    rig->open();
}

void TFormCalibrationRun::Button_StartClick()
{
    QString error;
    const std::optional<RunPlan> plan = planFromCells(&error);
    if (!plan)
        return refuse(QStringLiteral("План не принят: %1. Ничего не отправлено.").arg(error));
    if (Edit_Serial->text().trimmed().isEmpty())
        return refuse(QStringLiteral("Укажите заводской номер прибора."));
    if (Edit_Operator->text().trimmed().isEmpty())
        return refuse(QStringLiteral("Укажите оператора."));
    if (!m_dm.isPortOpen())
        return refuse(QStringLiteral("Прибор не подключен: порт не открыт."));
    if (TMeterOwnership::of(m_dm).isOwned())
        return refuse(TMeterOwnership::of(m_dm).reason());
    double scale = 1.0;
    std::unique_ptr<TRig> rig = makeRig(&error, &scale);
    if (!rig)
        return refuse(error);
    remember();

    RunOptions options;
    options.plan = *plan;
    options.meterSerial = Edit_Serial->text().trimmed();
    options.operatorName = Edit_Operator->text().trimmed();
    options.timeScale = scale;
    options.referenceName = Edit_RefName->text().trimmed();
    options.referenceCertificate = Edit_RefCertificate->text().trimmed();
    options.referenceDueDate = Date_RefDue->date();

    m_run.reset();
    m_rig = std::move(rig);
    Button_Start->setEnabled(false);
    Label_PlanError->setText(QStringLiteral("Связь со стендом %1…").arg(m_rig->description()));
    connect(m_rig.get(), &TRig::opened, this, [this, options] {
        m_rig->disconnect(this);
        startRun(options);
    });
    connect(m_rig.get(), &TRig::failed, this, [this](const QString &message) {
        m_rig->disconnect(this);
        refuse(QStringLiteral("Стенд %1: %2. Ничего не отправлено.").arg(m_rig->description(), message));
    });
    m_rig->open();
}

void TFormCalibrationRun::startRun(const RunOptions &options)
{
    if (!TMeterOwnership::of(m_dm).claim(
            this, QStringLiteral("Идёт калибровка по шагам: прибор %1 занят прогоном до его окончания")
                      .arg(options.meterSerial)))
        return refuse(TMeterOwnership::of(m_dm).reason());
    m_plan = options.plan;
    m_timeScale = options.timeScale;
    m_asked.reset();
    m_current.reset();
    m_run = std::make_unique<TCalibrationRun>(m_dm, m_records, *m_rig);
    TCalibrationRun *run = m_run.get();
    connect(run, &TCalibrationRun::stateChanged, this, &TFormCalibrationRun::onStateChanged);
    connect(run, &TCalibrationRun::pointStarted, this, &TFormCalibrationRun::onPointStarted);
    connect(run, &TCalibrationRun::settling, this, &TFormCalibrationRun::onSettling);
    connect(run, &TCalibrationRun::pointTaken, this, &TFormCalibrationRun::onPointTaken);
    connect(run, &TCalibrationRun::tableReady, this, &TFormCalibrationRun::onTableReady);
    connect(run, &TCalibrationRun::operatorNeeded, this, &TFormCalibrationRun::onOperatorNeeded);
    connect(run, &TCalibrationRun::paused, this, [this](const QString &reason) {
        note(QStringLiteral("Пауза: %1").arg(reason));
        showButtons();
    });
    connect(run, &TCalibrationRun::progress, this, &TFormCalibrationRun::onProgress);
    connect(run, &TCalibrationRun::finished, this, &TFormCalibrationRun::onFinished);

    Memo_Events->clear();
    Panel_Table->hide();
    Panel_Operator->hide();
    Chart_Point->clearSeries();
    Label_Stability->clear();
    Label_PlanError->clear();
    buildPointList(options.plan);
    onProgress(0, int(2 * options.plan.verificationPercent.size() + options.plan.calibrationPercent.size()));
    Pages->setCurrentWidget(Page_Run);
    note(QStringLiteral("Прогон начат: прибор %1, стенд %2").arg(options.meterSerial, m_rig->description()));
    run->start(options);
    showButtons();
}

void TFormCalibrationRun::buildPointList(const RunPlan &plan)
{
    Tree_Points->clear();
    m_attempts.clear();
    const auto addPhase = [this](RunPhase phase, const QList<double> &percents) {
        auto *top = new QTreeWidgetItem(Tree_Points, {PhaseTitle(phase)});
        top->setData(0, Qt::UserRole, int(phase));
        for (int i = 0; i < percents.size(); ++i) {
            auto *item = new QTreeWidgetItem(top, {QStringLiteral("%1: %2 %").arg(i + 1).arg(numberText(percents[i])),
                                                   QString(), PointStateTitle(PointState::Waiting)});
            item->setData(2, Qt::UserRole, int(PointState::Waiting));
        }
        top->setExpanded(true);
    };
    addPhase(RunPhase::AsFound, plan.verificationPercent);
    addPhase(RunPhase::Calibration, plan.calibrationPercent);
    addPhase(RunPhase::AsLeft, plan.verificationPercent);
}

QTreeWidgetItem *TFormCalibrationRun::pointItem(RunPhase phase, int index) const
{
    for (int i = 0; i < Tree_Points->topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = Tree_Points->topLevelItem(i);
        if (top->data(0, Qt::UserRole).toInt() == int(phase))
            return index >= 1 && index <= top->childCount() ? top->child(index - 1) : nullptr;
    }
    return nullptr;
}

TFormCalibrationRun::PointState TFormCalibrationRun::pointState(RunPhase phase, int index) const
{
    const QTreeWidgetItem *item = pointItem(phase, index);
    return item ? PointState(item->data(2, Qt::UserRole).toInt()) : PointState::Waiting;
}

void TFormCalibrationRun::setPointState(RunPhase phase, int index, PointState state, const QString &text)
{
    QTreeWidgetItem *item = pointItem(phase, index);
    if (!item)
        return;
    item->setData(2, Qt::UserRole, int(state));
    item->setText(2, PointStateTitle(state));
    if (!text.isNull())
        item->setText(3, text);
    if (state == PointState::Settling || state == PointState::Retry)
        Tree_Points->scrollToItem(item);
}

void TFormCalibrationRun::note(const QString &text)
{
    Memo_Events->appendPlainText(QStringLiteral("%1  %2").arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")), text));
}

void TFormCalibrationRun::onStateChanged(RunState state, const QString &text)
{
    const QString title = RunStateTitle(state);
    Label_State->setText(text.isEmpty() || text == title ? title : QStringLiteral("%1: %2").arg(title, text));
    if (!text.isEmpty())
        note(text);
    if (m_current) {
        const auto [phase, index] = *m_current;
        const PointState now = pointState(phase, index);
        if (state == RunState::Averaging)
            setPointState(phase, index, PointState::Averaging);
        else if (state == RunState::Settling && now == PointState::Averaging)
            setPointState(phase, index, PointState::Retry);
    }
    if (state != RunState::WaitingForOperator && m_asked) {
        m_asked.reset();
        Panel_Operator->hide();
    }
    if (state != RunState::AwaitingWrite)
        Panel_Table->hide();
    showButtons();
}

void TFormCalibrationRun::onPointStarted(RunPhase phase, int index, double targetFlow)
{
    m_current = {phase, index};
    QTreeWidgetItem *item = pointItem(phase, index);
    if (item) {
        item->setText(1, num(targetFlow, 1));
        const int attempts = ++m_attempts[item];
        setPointState(phase, index, attempts > 1 ? PointState::Retry : PointState::Settling, QString());
    }
    Chart_Point->clearSeries();
    Chart_Point->setTitle(QStringLiteral("%1, точка %2: %3 кг/ч").arg(PhaseTitle(phase)).arg(index).arg(num(targetFlow, 1)));
    Label_Stability->clear();
}

void TFormCalibrationRun::onSettling(double meterFlow, double referenceFlow, double meterSigma, double referenceSigma)
{
    const QDateTime now = QDateTime::currentDateTime();
    Chart_Point->append(0, now, meterFlow);
    Chart_Point->append(1, now, referenceFlow);
    const double qMax = m_run ? double(m_run->record().qMax) : double(m_qMax);
    const double limit = m_plan.stabilitySigmaPercent * qMax / 100.0;
    const auto mark = [limit](const char *who, double sigma) {
        const bool steady = sigma <= limit;
        return QStringLiteral("<span style=\"color:%1\">σ %2 %3 из %4 кг/ч %5</span>")
            .arg(steady ? QStringLiteral("#2E7D32") : QStringLiteral("#C62828"), QString::fromUtf8(who), num(sigma, 3),
                 num(limit, 3), steady ? QStringLiteral("✓") : QStringLiteral("…"));
    };
    Label_Stability->setText(mark("прибора", meterSigma) + QStringLiteral(" &nbsp; ") + mark("эталона", referenceSigma));
}

void TFormCalibrationRun::onPointTaken(const RunPoint &p)
{
    QString text;
    if (p.relativeError)
        text = QStringLiteral("%1 %").arg(num(*p.relativeError, 3));
    else if (p.reducedError)
        text = QStringLiteral("%1 % привед.").arg(num(*p.reducedError, 3));
    if (p.fits)
        text += QStringLiteral(" — ") + verdict(p.fits);
    if (!p.settled)
        text += QStringLiteral(" (не установилась)");
    setPointState(p.phase, p.index, PointState::Done, text);
    note(QStringLiteral("%1, точка %2: эталон %3 кг/ч, прибор %4 кг/ч %5")
             .arg(PhaseTitle(p.phase))
             .arg(p.index)
             .arg(num(p.referenceFlow, 3), num(p.meterFlow, 3), text));
}

void TFormCalibrationRun::onTableReady(const FlowTableSave::Values &v)
{
    Label_Table->setText(QStringLiteral("Таблица расхода готова (Q Max %1 кг/ч). Записать её в прибор? Перед записью "
                                        "калибровка прибора сохранена в снимке.")
                             .arg(double(v[FlowTable::QMaxIndex]), 0, 'g', 7));
    for (int n = 1; n <= FlowTable::Points; ++n) {
        Table_Write->setItem(n - 1, 0, readOnlyItem(QString::number(double(v[size_t(FlowTable::etalonIndex(n))]), 'g', 9)));
        Table_Write->setItem(n - 1, 1, readOnlyItem(QString::number(double(v[size_t(FlowTable::priborIndex(n))]), 'g', 9)));
    }
    Panel_Table->show();
    Button_WriteTable->setFocus();
}

void TFormCalibrationRun::onOperatorNeeded(OperatorRequest request, double targetFlow, const QString &text)
{
    Q_UNUSED(targetFlow);
    m_asked = request;
    Label_Operator->setText(text);
    const bool typed = request == OperatorRequest::EnterReference;
    Edit_OperatorReference->setVisible(typed);
    Edit_OperatorReference->clear();
    Edit_OperatorReference->setStyleSheet(QString());
    Button_OperatorDone->setText(typed ? QStringLiteral("Принять") : QStringLiteral("Расход установлен"));
    Button_OperatorDone->setAccessibleName(Button_OperatorDone->text());
    Panel_Operator->show();
    if (typed)
        Edit_OperatorReference->setFocus();
    else
        Button_OperatorDone->setFocus();
    note(text);
}

void TFormCalibrationRun::Button_OperatorDoneClick()
{
    if (!m_run || !m_asked)
        return;
    if (*m_asked == OperatorRequest::SetFlow) {
        m_asked.reset();
        Panel_Operator->hide();
        m_run->operatorFlowSet();
        return;
    }
    const std::optional<double> value = parseNumber(Edit_OperatorReference->text());
    if (!value) {
        Edit_OperatorReference->setStyleSheet(QStringLiteral("background: #FFCDD2"));
        Edit_OperatorReference->setToolTip(QStringLiteral("Введите показание эталона числом, кг/ч"));
        return;
    }
    m_asked.reset();
    Panel_Operator->hide();
    m_run->operatorReference(*value);
}

void TFormCalibrationRun::onProgress(int done, int total)
{
    Progress_Run->setRange(0, qMax(1, total));
    Progress_Run->setValue(done);
    // Each point at least fills the stability window and averages once.
    const double perPoint = (m_plan.stabilityWindowSeconds + m_plan.averagingSeconds) / qMax(1e-9, m_timeScale);
    const int left = int(std::lround(perPoint * qMax(0, total - done)));
    Label_TimeLeft->setText(QStringLiteral("осталось ≈ %1 мин %2 с").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0')));
}

void TFormCalibrationRun::showButtons()
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

void TFormCalibrationRun::Button_PauseClick()
{
    if (m_run)
        m_run->pause();
    showButtons();
}

void TFormCalibrationRun::Button_ResumeClick()
{
    if (m_run)
        m_run->resume();
    showButtons();
}

void TFormCalibrationRun::Button_RetakeClick()
{
    if (m_run)
        m_run->retakePoint();
    showButtons();
}

void TFormCalibrationRun::Button_AbortClick()
{
    if (m_run)
        m_run->abort();
}

void TFormCalibrationRun::Button_WriteTableClick()
{
    if (!m_run)
        return;
    Panel_Table->hide();
    m_run->confirmTableWrite();
}

void TFormCalibrationRun::onFinished(const RunRecord &record)
{
    TMeterOwnership::of(m_dm).release(this);
    if (m_rig)
        m_rig->close();
    for (int i = 0; i < Tree_Points->topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = Tree_Points->topLevelItem(i);
        for (int c = 0; c < top->childCount(); ++c) {
            if (PointState(top->child(c)->data(2, Qt::UserRole).toInt()) != PointState::Done) {
                top->child(c)->setData(2, Qt::UserRole, int(PointState::Skipped));
                top->child(c)->setText(2, PointStateTitle(PointState::Skipped));
            }
        }
    }
    Panel_Table->hide();
    Panel_Operator->hide();
    showButtons();
    note(QStringLiteral("Прогон %1%2")
             .arg(EndTitle(record.end),
                  record.endReason.isEmpty() ? QString() : QStringLiteral(": ") + record.endReason));
    const bool canRestore = m_run && m_run->canRestoreBefore();
    View_Result->showRun(record, canRestore);
    Label_Restore->setText(canRestore ? QStringLiteral("Прибор хранит таблицу этого прогона; прежняя калибровка — "
                                                       "в снимке №%1")
                                            .arg(record.snapshotBeforeId)
                                      : QString());
    Pages->setCurrentWidget(Page_Result);
}

void TFormCalibrationRun::restoreSnapshot(qint64 snapshotId)
{
    if (m_restoreTarget != 0 || m_restorer->isRunning())
        return;
    if (!m_dm.isPortOpen()) {
        Label_Restore->setText(QStringLiteral("Прибор не подключен: порт не открыт"));
        return;
    }
    if (!TMeterOwnership::of(m_dm).claim(this, QStringLiteral("Идёт калибровка по шагам: восстановление прежней "
                                                                "калибровки")))
        return;
    m_restoreTarget = snapshotId;
    Label_Restore->setText(QStringLiteral("Чтение калибровки прибора"));
    m_reader->start(AllCalibrationAreas());
}

void TFormCalibrationRun::onRestoreFinished(const RestoreOutcome &outcome)
{
    m_restoreTarget = 0;
    TMeterOwnership::of(m_dm).release(this);
    Label_Restore->setText(outcome.message);
}

void TFormCalibrationRun::openHistory(qint64 runId)
{
    if (!m_history)
        m_history = new TForm_History(m_dm, m_records, this);
    m_history->show();
    BringToFront(m_history);
    m_history->showRunRecord(runId);
}

void TFormCalibrationRun::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        m_placement->load();
    TGuardedForm::showEvent(event);
}

void TFormCalibrationRun::closeEvent(QCloseEvent *event)
{
    const RunState s = m_run ? m_run->state() : RunState::Idle;
    if (s == RunState::Writing || s == RunState::Restoring || m_restorer->isRunning()) {
        // Half a table or half a restore is worse than either: the window waits for it.
        ShowMessage(this, {QMessageBox::Warning, WindowGuards::CalibrationRunTitle,
                           QStringLiteral("Идёт запись в прибор: окно закроется, когда она закончится."),
                           QMessageBox::Ok, QMessageBox::Ok});
        event->ignore();
        return;
    }
    if (s != RunState::Idle && s != RunState::Finished) {
        const MessageBoxRequest box{QMessageBox::Question, WindowGuards::CalibrationRunTitle,
                                    QStringLiteral("Прогон не закончен. Прервать его и закрыть окно?"),
                                    QMessageBox::Yes | QMessageBox::No, QMessageBox::No};
        if (ShowMessage(this, box) != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        m_run->abort(QStringLiteral("окно калибровки по шагам закрыто"));
    }
    TGuardedForm::closeEvent(event);
    if (event->isAccepted())
        m_placement->saveOnClose();
}
