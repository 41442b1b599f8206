#pragma once
// The run window's first page: the meter, the operator, the rig with its reference
// and the plan as typed. It refuses a bad plan cell in place; the window starts the run.
#include "procedure/calibration_run.h"
#include <QList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class TRig;
class TRigCheck;
class TRunPlanPartiesGroup;
class TRunPlanReferenceGroup;
class TRunPlanSettingsTable;
class TRunPlanTemperatureGroup;

// What the program adds to the rig drivers: a rig it runs itself (the demo's), made
// on demand, with the clock the meter behind it runs at.
struct RunWindowSetup
{
    struct BuiltInRig
    {
        QString title;
        std::function<std::unique_ptr<TRig>(QObject *parent)> make;
        double timeScale = 1.0;
    };
    QList<BuiltInRig> builtInRigs;
};

class TRunPlanPage : public QWidget
{
    Q_OBJECT
public:
    explicit TRunPlanPage(const RunWindowSetup &setup, QWidget *parent = nullptr);
    ~TRunPlanPage() override;

    // A plan file into the page; false with the reason shown.
    bool loadPlan(const QString &path);
    void Button_CheckRigClick();
    // Q Max as the meter reported it (0: not known, then unknownText says why).
    void showQMax(float qMax, const QString &unknownText);
    // The run the page describes, or none with the bad cell marked and named in error.
    std::optional<RunOptions> runOptions(QString *error);
    // The chosen rig, made but not opened; null with the reason.
    std::unique_ptr<TRig> makeRig(QString *error, double *timeScale);
    // A start refused: the reason shown, "Начать" ready again.
    void refuse(const QString &message);
    // What is typed, for the next window.
    void remember() const;

    QLineEdit *Edit_Serial, *Edit_Operator;
    QComboBox *ComboBox_Rig;
    QLineEdit *Edit_RigAddress, *Edit_RigDevice, *Edit_RigMap;
    // The simulator's --time-scale, so that the run's times match its clock.
    QLineEdit *Edit_TimeScale;
    QPushButton *Button_RigMap;
    QPushButton *Button_CheckRig;
    QLabel *Label_CheckRig;
    QLabel *Label_QMax;
    QPushButton *Button_LoadPlan;
    QTableWidget *Table_Points;
    TRunPlanSettingsTable *Table_Settings;
    TRunPlanReferenceGroup *Group_Reference;
    TRunPlanTemperatureGroup *Group_Temperature;
    TRunPlanPartiesGroup *Group_Parties;
    QLabel *Label_PlanError;
    QPushButton *Button_Start;

private:
    void connectHandlers();
    void recall();
    void fillPlan(const RunPlan &plan);
    void showRigFields();
    void showFlows();
    std::optional<RunPlan> planFromCells(QString *error);
    void clearMarks();
    void markCell(QTableWidgetItem *item, const QString &message);
    QTableWidgetItem *cellOf(const QString &field) const;

    RunWindowSetup m_setup;
    RunPlan m_plan;
    float m_qMax = 0.0f;
    TRigCheck *m_rigCheck;
};
