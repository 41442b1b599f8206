#include "ui/run/run_plan_page.h"
#include "rig/rig_factory.h"
#include "rig/rig_kinds.h"
#include "ui/common/file_dialogs.h"
#include "report/run_result_text.h"
#include "ui/run/rig_check.h"
#include "ui/run/run_plan_parties_group.h"
#include "ui/run/run_plan_reference_group.h"
#include "ui/run/run_plan_settings_table.h"
#include "ui/run/run_plan_temperature_group.h"
#include "ui/run/run_widgets.h"
#include <QBoxLayout>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <cmath>

using namespace RunWidgets;
using RunResultText::Fixed3;

namespace {

const QColor BadCell(255, 205, 210);

const char VerificationKey[] = "verification_percent";
const char CalibrationKey[] = "calibration_percent";
const QString BuiltInPrefix = QStringLiteral("builtin:");

QSettings settings()
{
    return QSettings(QStringLiteral("Velnor"), QStringLiteral("KestroLink"));
}

} // namespace

TRunPlanPage::TRunPlanPage(const RunWindowSetup &setup, QWidget *parent)
    : QWidget(parent), m_setup(setup), m_rigCheck(new TRigCheck(this))
{
    setObjectName(QStringLiteral("Page_Plan"));

    auto *who = new QGroupBox(QStringLiteral("Прибор и оператор"), this);
    auto *whoForm = new QFormLayout(who);
    Edit_Serial = Edit("Edit_Serial", QStringLiteral("Заводской номер прибора"), who);
    Edit_Serial->setPlaceholderText(QStringLiteral("отсканируйте или введите"));
    Edit_Operator = Edit("Edit_Operator", QStringLiteral("Оператор"), who);
    Label_QMax = Label("Label_QMax", who);
    whoForm->addRow(QStringLiteral("Заводской номер"), Edit_Serial);
    whoForm->addRow(QStringLiteral("Оператор"), Edit_Operator);
    whoForm->addRow(QStringLiteral("Q Max прибора"), Label_QMax);

    auto *rigBox = new QGroupBox(QStringLiteral("Стенд"), this);
    auto *rigForm = new QFormLayout(rigBox);
    ComboBox_Rig = new QComboBox(rigBox);
    ComboBox_Rig->setObjectName(QStringLiteral("ComboBox_Rig"));
    ComboBox_Rig->setAccessibleName(QStringLiteral("Стенд"));
    for (const RigKind &k : RigKinds())
        ComboBox_Rig->addItem(QString::fromUtf8(k.title), QString::fromLatin1(k.key));
    for (int i = 0; i < m_setup.builtInRigs.size(); ++i)
        ComboBox_Rig->addItem(m_setup.builtInRigs[i].title, BuiltInPrefix + QString::number(i));
    Edit_RigAddress = Edit("Edit_RigAddress", QStringLiteral("Адрес стенда"), rigBox);
    Edit_RigAddress->setPlaceholderText(QStringLiteral("хост:порт"));
    Edit_RigDevice = Edit("Edit_RigDevice", QStringLiteral("Последовательный порт стенда"), rigBox);
    Edit_RigDevice->setPlaceholderText(QStringLiteral("/dev/ttyUSB0"));
    Edit_TimeScale = Edit("Edit_TimeScale", QStringLiteral("Ускорение времени симулятора"), rigBox);
    Edit_TimeScale->setText(QStringLiteral("1"));
    Edit_RigMap = Edit("Edit_RigMap", QStringLiteral("Файл карты регистров"), rigBox);
    Edit_RigMap->setPlaceholderText(QStringLiteral("карта по умолчанию"));
    Button_RigMap = Button("Button_RigMap", QStringLiteral("Выбрать…"), rigBox);
    Button_RigMap->setAccessibleName(QStringLiteral("Выбрать файл карты регистров"));
    auto *mapRow = new QHBoxLayout;
    mapRow->addWidget(Edit_RigMap, 1);
    mapRow->addWidget(Button_RigMap);
    Button_CheckRig = Button("Button_CheckRig", QStringLiteral("Проверить связь"), rigBox);
    Label_CheckRig = Label("Label_CheckRig", rigBox);
    auto *checkRow = new QHBoxLayout;
    checkRow->addWidget(Button_CheckRig);
    checkRow->addWidget(Label_CheckRig, 1);
    rigForm->addRow(QStringLiteral("Стенд"), ComboBox_Rig);
    rigForm->addRow(QStringLiteral("Адрес"), Edit_RigAddress);
    rigForm->addRow(QStringLiteral("Ускорение времени"), Edit_TimeScale);
    rigForm->addRow(QStringLiteral("Порт RTU"), Edit_RigDevice);
    rigForm->addRow(QStringLiteral("Карта регистров"), mapRow);
    rigForm->addRow(checkRow);
    Group_Reference = new TRunPlanReferenceGroup(this);

    Table_Points = new QTableWidget(0, 3, this);
    Table_Points->setObjectName(QStringLiteral("Table_Points"));
    Table_Points->setAccessibleName(QStringLiteral("Точки плана"));
    Table_Points->setHorizontalHeaderLabels(
        {QStringLiteral("Точка"), QStringLiteral("% от Q Max"), QStringLiteral("Расход, кг/ч")});
    Table_Points->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Table_Points->verticalHeader()->hide();

    Table_Settings = new TRunPlanSettingsTable(this);

    Group_Temperature = new TRunPlanTemperatureGroup(this);
    Group_Parties = new TRunPlanPartiesGroup(this);

    Button_LoadPlan = Button("Button_LoadPlan", QStringLiteral("Загрузить план…"), this);
    Label_PlanError = Label("Label_PlanError", this);
    Label_PlanError->setStyleSheet(QStringLiteral("color: #B71C1C"));
    Button_Start = Button("Button_Start", QStringLiteral("Начать"), this);

    auto *left = new QVBoxLayout;
    left->addWidget(who);
    left->addWidget(rigBox);
    left->addWidget(Group_Reference);
    left->addWidget(Table_Settings, 1);
    auto *columns = new QHBoxLayout;
    columns->addLayout(left, 1);
    auto *right = new QVBoxLayout;
    right->addWidget(Table_Points, 1);
    right->addWidget(Group_Temperature);
    right->addWidget(Group_Parties);
    columns->addLayout(right, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(Button_LoadPlan);
    bottom->addWidget(Label_PlanError, 1);
    bottom->addWidget(Button_Start);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(bottom);

    connectHandlers();
    recall();
    fillPlan(RunPlanFile::Default());
    Group_Temperature->recall(RunPlanFile::Default());
    showRigFields();
    showFlows();
}

TRunPlanPage::~TRunPlanPage() = default;

void TRunPlanPage::connectHandlers()
{
    connect(ComboBox_Rig, &QComboBox::currentIndexChanged, this, &TRunPlanPage::showRigFields);
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
    connect(Button_CheckRig, &QPushButton::clicked, this, &TRunPlanPage::Button_CheckRigClick);
    // A percent typed in the table shows its flow at once.
    connect(Table_Points, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (item->column() == 1)
            showFlows();
    });
}

void TRunPlanPage::recall()
{
    QSettings s = settings();
    Edit_Operator->setText(s.value(QStringLiteral("run/operator")).toString());
    const QString rig = s.value(QStringLiteral("run/rig")).toString();
    // Where the program runs a rig itself (the demo), that rig is the one to use.
    const bool builtIn = !m_setup.builtInRigs.isEmpty();
    const int chosen = ComboBox_Rig->findData(builtIn && !rig.startsWith(BuiltInPrefix) ? BuiltInPrefix + QLatin1Char('0') : rig);
    if (chosen >= 0)
        ComboBox_Rig->setCurrentIndex(chosen);
    Edit_RigAddress->setText(s.value(QStringLiteral("run/rig_address")).toString());
    Edit_RigDevice->setText(s.value(QStringLiteral("run/rig_device")).toString());
    Edit_RigMap->setText(s.value(QStringLiteral("run/rig_map")).toString());
}

void TRunPlanPage::remember() const
{
    QSettings s = settings();
    s.setValue(QStringLiteral("run/operator"), Edit_Operator->text().trimmed());
    s.setValue(QStringLiteral("run/rig"), ComboBox_Rig->currentData().toString());
    s.setValue(QStringLiteral("run/rig_address"), Edit_RigAddress->text().trimmed());
    s.setValue(QStringLiteral("run/rig_device"), Edit_RigDevice->text().trimmed());
    s.setValue(QStringLiteral("run/rig_map"), Edit_RigMap->text().trimmed());
    Group_Temperature->remember();
    Group_Reference->remember();
    Group_Parties->remember();
}

void TRunPlanPage::fillPlan(const RunPlan &plan)
{
    m_plan = plan;
    const QSignalBlocker quiet(Table_Points);
    Table_Points->setRowCount(0);
    const auto addRows = [this](const QList<double> &percents, const QString &title) {
        for (int i = 0; i < percents.size(); ++i) {
            const int row = Table_Points->rowCount();
            Table_Points->insertRow(row);
            Table_Points->setItem(row, 0, ReadOnlyItem(QStringLiteral("%1 %2").arg(title).arg(i + 1)));
            Table_Points->setItem(row, 1, new QTableWidgetItem(EditableNumber(percents[i])));
            Table_Points->setItem(row, 2, ReadOnlyItem(QString()));
        }
    };
    addRows(plan.verificationPercent, QStringLiteral("Поверка"));
    addRows(plan.calibrationPercent, QStringLiteral("Калибровка"));
    Table_Settings->showPlan(plan);
    Group_Temperature->showPlan(plan);
}

bool TRunPlanPage::loadPlan(const QString &path)
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

void TRunPlanPage::showRigFields()
{
    const RigKind *kind = FindRigKind(ComboBox_Rig->currentData().toString());
    Edit_RigAddress->setEnabled(kind && kind->address);
    Edit_RigDevice->setEnabled(kind && kind->device);
    Edit_TimeScale->setEnabled(kind && kind->timeScale);
    Edit_RigMap->setEnabled(kind && kind->map);
    Button_RigMap->setEnabled(kind && kind->map);
}

void TRunPlanPage::showQMax(float qMax, const QString &unknownText)
{
    m_qMax = qMax > 0.0f && std::isfinite(qMax) ? qMax : 0.0f;
    Label_QMax->setText(m_qMax > 0.0f ? QStringLiteral("%1 кг/ч").arg(Fixed3(double(m_qMax))) : unknownText);
    showFlows();
}

void TRunPlanPage::showFlows()
{
    const QSignalBlocker quiet(Table_Points);
    for (int r = 0; r < Table_Points->rowCount(); ++r) {
        const std::optional<double> percent = ParseNumber(Table_Points->item(r, 1)->text());
        Table_Points->item(r, 2)->setText(m_qMax > 0.0f && percent ? Fixed3(*percent * double(m_qMax) / 100.0)
                                                                   : QString());
    }
}

void TRunPlanPage::clearMarks()
{
    const QSignalBlocker quiet(Table_Points);
    for (int r = 0; r < Table_Points->rowCount(); ++r) {
        if (QTableWidgetItem *item = Table_Points->item(r, 1)) {
            item->setData(Qt::BackgroundRole, QVariant());
            item->setToolTip(QString());
        }
    }
    Table_Settings->clearMarks();
}

void TRunPlanPage::markCell(QTableWidgetItem *item, const QString &message)
{
    if (!item)
        return;
    const QSignalBlocker quiet(item->tableWidget());
    item->setBackground(BadCell);
    item->setToolTip(message);
    item->tableWidget()->scrollToItem(item);
}

QTableWidgetItem *TRunPlanPage::cellOf(const QString &field) const
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
    return Table_Settings->cellOf(key);
}

std::optional<RunPlan> TRunPlanPage::planFromCells(QString *error)
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
        const std::optional<double> v = ParseNumber(item->text());
        const bool isVerification = r < verification;
        const QString field = QStringLiteral("%1[%2]")
                                  .arg(QLatin1String(isVerification ? VerificationKey : CalibrationKey))
                                  .arg(isVerification ? r : r - verification);
        if (!v)
            return bad(item, field);
        (isVerification ? plan.verificationPercent : plan.calibrationPercent).append(*v);
    }
    if (!Table_Settings->apply(plan, error))
        return std::nullopt;
    if (!Group_Temperature->apply(plan, error))
        return std::nullopt;
    if (!RunPlanFile::Check(plan, error)) {
        markCell(cellOf(error->section(QLatin1Char(':'), 0, 0)), *error);
        return std::nullopt;
    }
    return plan;
}

std::optional<RunOptions> TRunPlanPage::runOptions(QString *error)
{
    const std::optional<RunPlan> plan = planFromCells(error);
    if (!plan) {
        *error = QStringLiteral("План не принят: %1. Ничего не отправлено.").arg(*error);
        return std::nullopt;
    }
    if (Edit_Serial->text().trimmed().isEmpty()) {
        *error = QStringLiteral("Укажите заводской номер прибора.");
        return std::nullopt;
    }
    if (Edit_Operator->text().trimmed().isEmpty()) {
        *error = QStringLiteral("Укажите оператора.");
        return std::nullopt;
    }
    RunOptions options;
    options.plan = *plan;
    options.meterSerial = Edit_Serial->text().trimmed();
    options.operatorName = Edit_Operator->text().trimmed();
    // A lapsed reference is refused here, before the rig is opened.
    if (!Group_Reference->apply(options, error)) {
        *error = QStringLiteral("%1. Ничего не отправлено.").arg(*error);
        return std::nullopt;
    }
    if (!Group_Parties->apply(options, error)) {
        *error = QStringLiteral("%1. Ничего не отправлено.").arg(*error);
        return std::nullopt;
    }
    return options;
}

std::unique_ptr<TRig> TRunPlanPage::makeRig(QString *error, double *timeScale)
{
    *timeScale = 1.0;
    const QString key = ComboBox_Rig->currentData().toString();
    if (key.startsWith(BuiltInPrefix)) {
        const RunWindowSetup::BuiltInRig &rig = m_setup.builtInRigs.at(key.mid(BuiltInPrefix.size()).toInt());
        *timeScale = rig.timeScale;
        return rig.make(nullptr);
    }
    const RigKind *kind = FindRigKind(key);
    if (kind && kind->timeScale) {
        const std::optional<double> scale = ParseNumber(Edit_TimeScale->text());
        if (!scale || !(*scale > 0) || *scale > 1000) {
            *error = QStringLiteral("Ускорение времени симулятора «%1»: нужно число больше 0 и не больше 1000")
                         .arg(Edit_TimeScale->text());
            return nullptr;
        }
        *timeScale = *scale;
    }
    const std::optional<RigConfig> config =
        RigConfigFromFields({key, Edit_RigAddress->text(), Edit_RigDevice->text(), Edit_RigMap->text()}, error);
    return config ? MakeRig(*config, nullptr) : nullptr;
}

void TRunPlanPage::refuse(const QString &message)
{
    Label_PlanError->setText(message);
    Button_Start->setEnabled(true);
}

void TRunPlanPage::Button_CheckRigClick()
{
    QString error;
    double scale = 1.0;
    std::unique_ptr<TRig> rig = makeRig(&error, &scale);
    if (!rig) {
        Label_CheckRig->setText(error);
        return;
    }
    Button_CheckRig->setEnabled(false);
    Label_CheckRig->setText(QStringLiteral("Связь со стендом %1…").arg(rig->description()));
    m_rigCheck->start(std::move(rig), [this](const QString &text) {
        Label_CheckRig->setText(text);
        Button_CheckRig->setEnabled(true);
    });
}
