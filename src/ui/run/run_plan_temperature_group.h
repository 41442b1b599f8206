#pragma once
// The plan page's thermometer and zero: which of the four phases run, the two fluid
// temperatures and how they are judged settled and checked. A loaded plan file sets
// them; the workstation remembers the last ones a run started with.
#include "procedure/run_plan.h"
#include <QGroupBox>

class QCheckBox;
class QLineEdit;

class TRunPlanTemperatureGroup : public QGroupBox
{
    Q_OBJECT
public:
    explicit TRunPlanTemperatureGroup(QWidget *parent = nullptr);

    void showPlan(const RunPlan &plan);
    // The typed values into plan; false with the field named and marked on a bad number.
    bool apply(RunPlan &plan, QString *error);
    // The fields as last remembered; the plan's own where nothing is.
    void recall(const RunPlan &defaults);
    void remember() const;

    QCheckBox *Check_Thermometer, *Check_Zero, *Check_Flow, *Check_Verification;
    QLineEdit *Edit_LowTemperature, *Edit_HighTemperature, *Edit_TemperatureTolerance, *Edit_TemperatureSigma,
        *Edit_TemperatureDrift, *Edit_TemperatureTimeout, *Edit_ThermometerCheck, *Edit_ZeroLimit;

private:
    void showEnabled();
};
