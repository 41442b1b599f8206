#include "ui/run/run_plan_temperature_group.h"
#include "ui/run/run_widgets.h"
#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSettings>
#include <array>

using namespace RunWidgets;

namespace {

struct Phase
{
    const char *key;
    bool RunPlan::*value;
};
const Phase Phases[] = {
    {"thermometer_phase", &RunPlan::thermometerPhase},
    {"zero_phase", &RunPlan::zeroPhase},
    {"flow_phase", &RunPlan::flowPhase},
    {"verification_phase", &RunPlan::verificationPhase},
};

// Each number by its plan name; a positive one may not be zero or less.
struct Field
{
    const char *key;
    double RunPlan::*value;
    bool positive;
};
const Field Fields[] = {
    {"low_temperature", &RunPlan::lowTemperature, false},
    {"high_temperature", &RunPlan::highTemperature, false},
    {"temperature_tolerance", &RunPlan::temperatureTolerance, true},
    {"temperature_sigma", &RunPlan::temperatureSigma, true},
    {"temperature_drift", &RunPlan::temperatureDrift, true},
    {"temperature_timeout_seconds", &RunPlan::temperatureTimeoutSeconds, true},
    {"thermometer_check_tolerance", &RunPlan::thermometerCheckTolerance, true},
    {"zero_limit_ns", &RunPlan::zeroLimitNs, true},
};

QSettings settings()
{
    return QSettings(QStringLiteral("Velnor"), QStringLiteral("KestroLink"));
}

QString settingKey(const char *key)
{
    return QStringLiteral("run/") + QLatin1String(key);
}

} // namespace

TRunPlanTemperatureGroup::TRunPlanTemperatureGroup(QWidget *parent)
    : QGroupBox(QStringLiteral("Термометр и ноль"), parent)
{
    setObjectName(QStringLiteral("Group_Temperature"));
    setAccessibleName(QStringLiteral("Термометр и ноль"));
    const auto check = [this](const char *name, const QString &text) {
        auto *c = new QCheckBox(text, this);
        c->setObjectName(QLatin1String(name));
        c->setAccessibleName(text);
        return c;
    };
    Check_Thermometer = check("Check_Thermometer", QStringLiteral("Калибровка термометра"));
    Check_Zero = check("Check_Zero", QStringLiteral("Ноль по температуре"));
    Check_Flow = check("Check_Flow", QStringLiteral("Калибровка расхода"));
    Check_Verification = check("Check_Verification", QStringLiteral("Поверка как найден и как оставлен"));
    Edit_LowTemperature = Edit("Edit_LowTemperature", QStringLiteral("Нижняя температура, °C"), this);
    Edit_HighTemperature = Edit("Edit_HighTemperature", QStringLiteral("Верхняя температура, °C"), this);
    Edit_TemperatureTolerance = Edit("Edit_TemperatureTolerance", QStringLiteral("Отклонение температуры, °C"), this);
    Edit_TemperatureSigma = Edit("Edit_TemperatureSigma", QStringLiteral("Порог σ температуры, °C"), this);
    Edit_TemperatureDrift = Edit("Edit_TemperatureDrift", QStringLiteral("Порог дрейфа температуры, °C"), this);
    Edit_TemperatureTimeout = Edit("Edit_TemperatureTimeout", QStringLiteral("Предел установления температуры, с"), this);
    Edit_ThermometerCheck = Edit("Edit_ThermometerCheck", QStringLiteral("Допуск проверки термометра, °C"), this);
    Edit_ZeroLimit = Edit("Edit_ZeroLimit", QStringLiteral("Допуск нуля, нс"), this);

    auto *form = new QFormLayout(this);
    for (QCheckBox *c : {Check_Thermometer, Check_Zero, Check_Flow, Check_Verification})
        form->addRow(c);
    for (QLineEdit *e : {Edit_LowTemperature, Edit_HighTemperature, Edit_TemperatureTolerance, Edit_TemperatureSigma,
                         Edit_TemperatureDrift, Edit_TemperatureTimeout, Edit_ThermometerCheck, Edit_ZeroLimit})
        form->addRow(e->accessibleName(), e);
    for (QCheckBox *c : {Check_Thermometer, Check_Zero})
        connect(c, &QCheckBox::toggled, this, &TRunPlanTemperatureGroup::showEnabled);
    showPlan(RunPlan{});
}

namespace {

QCheckBox *checkOf(const TRunPlanTemperatureGroup &g, int i)
{
    return std::array{g.Check_Thermometer, g.Check_Zero, g.Check_Flow, g.Check_Verification}[size_t(i)];
}

QLineEdit *editOf(const TRunPlanTemperatureGroup &g, int i)
{
    return std::array{g.Edit_LowTemperature,   g.Edit_HighTemperature,    g.Edit_TemperatureTolerance,
                      g.Edit_TemperatureSigma, g.Edit_TemperatureDrift,   g.Edit_TemperatureTimeout,
                      g.Edit_ThermometerCheck, g.Edit_ZeroLimit}[size_t(i)];
}

} // namespace

void TRunPlanTemperatureGroup::showPlan(const RunPlan &plan)
{
    for (int i = 0; i < int(std::size(Phases)); ++i)
        checkOf(*this, i)->setChecked(plan.*(Phases[i].value));
    for (int i = 0; i < int(std::size(Fields)); ++i) {
        editOf(*this, i)->setText(EditableNumber(plan.*(Fields[i].value)));
        editOf(*this, i)->setStyleSheet(QString());
        editOf(*this, i)->setToolTip(QString());
    }
    showEnabled();
}

bool TRunPlanTemperatureGroup::apply(RunPlan &plan, QString *error)
{
    RunPlan typed = plan;
    for (int i = 0; i < int(std::size(Phases)); ++i)
        typed.*(Phases[i].value) = checkOf(*this, i)->isChecked();
    const auto bad = [&](QLineEdit *e, const QString &message) {
        *error = message;
        e->setStyleSheet(QStringLiteral("background: #FFCDD2"));
        e->setToolTip(message);
        return false;
    };
    for (int i = 0; i < int(std::size(Fields)); ++i) {
        QLineEdit *e = editOf(*this, i);
        e->setStyleSheet(QString());
        e->setToolTip(QString());
        const std::optional<double> v = ParseNumber(e->text());
        const QString key = QLatin1String(Fields[i].key);
        if (!v)
            return bad(e, QStringLiteral("%1: «%2» не число").arg(key, e->text()));
        if (Fields[i].positive && !(*v > 0))
            return bad(e, QStringLiteral("%1: нужно число больше 0").arg(key));
        typed.*(Fields[i].value) = *v;
    }
    if (!(typed.highTemperature > typed.lowTemperature))
        return bad(Edit_HighTemperature, QStringLiteral("high_temperature: должна быть выше нижней"));
    if (!typed.thermometerPhase && !typed.zeroPhase && !typed.flowPhase && !typed.verificationPhase)
        return bad(Edit_LowTemperature, QStringLiteral("Не выбран ни один этап прогона"));
    plan = typed;
    return true;
}

void TRunPlanTemperatureGroup::recall(const RunPlan &defaults)
{
    QSettings s = settings();
    RunPlan plan = defaults;
    for (const Phase &p : Phases)
        plan.*(p.value) = s.value(settingKey(p.key), plan.*(p.value)).toBool();
    for (const Field &f : Fields)
        plan.*(f.value) = s.value(settingKey(f.key), plan.*(f.value)).toDouble();
    showPlan(plan);
}

void TRunPlanTemperatureGroup::remember() const
{
    QSettings s = settings();
    for (int i = 0; i < int(std::size(Phases)); ++i)
        s.setValue(settingKey(Phases[i].key), checkOf(*this, i)->isChecked());
    // Only numbers: a bad one leaves what was remembered before.
    for (int i = 0; i < int(std::size(Fields)); ++i) {
        if (const std::optional<double> v = ParseNumber(editOf(*this, i)->text()))
            s.setValue(settingKey(Fields[i].key), *v);
    }
}

void TRunPlanTemperatureGroup::showEnabled()
{
    const bool temperature = Check_Thermometer->isChecked() || Check_Zero->isChecked();
    for (int i = 0; i < int(std::size(Fields)); ++i)
        editOf(*this, i)->setEnabled(temperature);
    Edit_ThermometerCheck->setEnabled(Check_Thermometer->isChecked());
    Edit_ZeroLimit->setEnabled(Check_Zero->isChecked());
}
