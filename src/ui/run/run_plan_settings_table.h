#pragma once
// The plan's settings below its points, one row per plan field by its file name:
// numbers and counts typed in the value cell, the decision rule and the zero check
// chosen from a list. A refusal marks the row of the field it names.
#include "procedure/run_plan.h"
#include <QTableWidget>

class QComboBox;

class TRunPlanSettingsTable : public QTableWidget
{
    Q_OBJECT
public:
    explicit TRunPlanSettingsTable(QWidget *parent = nullptr);

    void showPlan(const RunPlan &plan);
    // The typed values into plan; false with the bad cell marked and named in error.
    // The plan's own checks come after, on the whole plan.
    bool apply(RunPlan &plan, QString *error);
    // The value cell of a plan field ("averaging_seconds"); null where not here.
    QTableWidgetItem *cellOf(const QString &key) const;
    void clearMarks();

    QComboBox *ComboBox_DecisionRule, *ComboBox_ZeroCheck;
};
