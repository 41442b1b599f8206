#include "ui/run/run_plan_settings_table.h"
#include "ui/run/run_widgets.h"
#include <QComboBox>
#include <QHeaderView>
#include <cmath>

using namespace RunWidgets;

namespace {

// A number (value), a whole count (count) or one of a list (the combo of that row).
struct SettingRow
{
    const char *key;
    const char *title;
    double RunPlan::*value = nullptr;
    int RunPlan::*count = nullptr;
};
const SettingRow SettingRows[] = {
    {"tolerance_percent", "Допуск погрешности, ± %", &RunPlan::tolerancePercent},
    {"decision_rule", "Правило принятия решения"},
    {"averaging_seconds", "Время усреднения, с", &RunPlan::averagingSeconds},
    {"runs_per_point", "Прогонов на точку", nullptr, &RunPlan::runsPerPoint},
    {"max_runs_per_point", "Прогонов на точку, не более", nullptr, &RunPlan::maxRunsPerPoint},
    {"repeatability_limit_percent", "Предел размаха прогонов, %", &RunPlan::repeatabilityLimitPercent},
    {"sample_period_seconds", "Период опроса при установлении, с", &RunPlan::samplePeriodSeconds},
    {"stability_window_seconds", "Окно устойчивости, с", &RunPlan::stabilityWindowSeconds},
    {"stability_sigma_percent", "Порог σ, % от Q Max", &RunPlan::stabilitySigmaPercent},
    {"stability_drift_percent", "Порог дрейфа, % от Q Max", &RunPlan::stabilityDriftPercent},
    {"flow_tolerance_percent", "Отклонение расхода стенда, % от Q Max", &RunPlan::flowTolerancePercent},
    {"settle_timeout_seconds", "Предел установления точки, с", &RunPlan::settleTimeoutSeconds},
    {"max_as_found_error_percent", "Предел расхождения прибора и эталона, %", &RunPlan::maxAsFoundErrorPercent},
    {"zero_check", "Проверка нуля перед «как найден»"},
    {"zero_check_seconds", "Проверка нуля: усреднение, с", &RunPlan::zeroCheckSeconds},
    {"zero_stability_percent", "Проверка нуля: предел, % от Q Max", &RunPlan::zeroStabilityPercent},
};

int rowOf(const char *key)
{
    for (int r = 0; r < int(std::size(SettingRows)); ++r) {
        if (qstrcmp(SettingRows[r].key, key) == 0)
            return r;
    }
    return -1;
}

QComboBox *choice(const char *name, const char *accessible, const QList<std::pair<QString, QString>> &items,
                  QWidget *parent)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setAccessibleName(QString::fromUtf8(accessible));
    for (const auto &[key, title] : items)
        c->addItem(title, key);
    return c;
}

void choose(QComboBox *c, const QString &key)
{
    c->setCurrentIndex(std::max(0, c->findData(key)));
}

} // namespace

TRunPlanSettingsTable::TRunPlanSettingsTable(QWidget *parent) : QTableWidget(int(std::size(SettingRows)), 2, parent)
{
    setObjectName(QStringLiteral("Table_Settings"));
    setAccessibleName(QStringLiteral("Параметры плана"));
    setHorizontalHeaderLabels({QStringLiteral("Параметр"), QStringLiteral("Значение")});
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    verticalHeader()->hide();
    for (int r = 0; r < int(std::size(SettingRows)); ++r)
        setItem(r, 0, ReadOnlyItem(QString::fromUtf8(SettingRows[r].title)));
    ComboBox_DecisionRule = choice("ComboBox_DecisionRule", "Правило принятия решения о соответствии",
                                   {{QStringLiteral("simple"), QStringLiteral("простое: по погрешности")},
                                    {QStringLiteral("guarded"), QStringLiteral("с защитной полосой U")}},
                                   this);
    ComboBox_ZeroCheck = choice("ComboBox_ZeroCheck", "Проверка нуля перед поверкой «как найден»",
                                {{RunPlanFile::ZeroCheckKey(RunPlan::ZeroCheckMode::Report), QStringLiteral("в протокол")},
                                 {RunPlanFile::ZeroCheckKey(RunPlan::ZeroCheckMode::Stop),
                                  QStringLiteral("вне допуска — стоп")},
                                 {RunPlanFile::ZeroCheckKey(RunPlan::ZeroCheckMode::Off), QStringLiteral("нет")}},
                                this);
    setCellWidget(rowOf("decision_rule"), 1, ComboBox_DecisionRule);
    setCellWidget(rowOf("zero_check"), 1, ComboBox_ZeroCheck);
}

void TRunPlanSettingsTable::showPlan(const RunPlan &plan)
{
    for (int r = 0; r < int(std::size(SettingRows)); ++r) {
        const SettingRow &row = SettingRows[r];
        if (row.value)
            setItem(r, 1, new QTableWidgetItem(EditableNumber(plan.*(row.value))));
        else if (row.count)
            setItem(r, 1, new QTableWidgetItem(QString::number(plan.*(row.count))));
    }
    choose(ComboBox_DecisionRule, plan.decisionRule);
    choose(ComboBox_ZeroCheck, RunPlanFile::ZeroCheckKey(plan.zeroCheck));
}

bool TRunPlanSettingsTable::apply(RunPlan &plan, QString *error)
{
    clearMarks();
    for (int r = 0; r < int(std::size(SettingRows)); ++r) {
        const SettingRow &row = SettingRows[r];
        if (!row.value && !row.count)
            continue;
        QTableWidgetItem *cell = item(r, 1);
        const std::optional<double> v = ParseNumber(cell->text());
        const bool whole = v && std::isfinite(*v) && *v == std::round(*v) && std::abs(*v) < 1e6;
        if (!v || (row.count && !whole)) {
            *error = QStringLiteral("%1: «%2» не %3")
                         .arg(QLatin1String(row.key), cell->text(), row.count ? QStringLiteral("целое число")
                                                                             : QStringLiteral("число"));
            const QSignalBlocker quiet(this);
            cell->setBackground(QColor(255, 205, 210));
            cell->setToolTip(*error);
            scrollToItem(cell);
            return false;
        }
        if (row.value)
            plan.*(row.value) = *v;
        else
            plan.*(row.count) = int(*v);
    }
    plan.decisionRule = ComboBox_DecisionRule->currentData().toString();
    plan.zeroCheck = RunPlanFile::ZeroCheckFromKey(ComboBox_ZeroCheck->currentData().toString())
                         .value_or(RunPlan::ZeroCheckMode::Report);
    return true;
}

QTableWidgetItem *TRunPlanSettingsTable::cellOf(const QString &key) const
{
    const int r = rowOf(key.toLatin1().constData());
    return r >= 0 ? item(r, 1) : nullptr;
}

void TRunPlanSettingsTable::clearMarks()
{
    const QSignalBlocker quiet(this);
    for (int r = 0; r < rowCount(); ++r) {
        if (QTableWidgetItem *cell = item(r, 1)) {
            cell->setData(Qt::BackgroundRole, QVariant());
            cell->setToolTip(QString());
        }
    }
}
