#pragma once
// "Калибровка по шагам": a face over one TCalibrationRun. The plan page gathers
// the meter, the operator, the rig and the plan; the run page follows the run's
// signals and answers its questions in place; the result page shows the record.
// The window switches the pages and owns the run; every decision is the run's.
#include "procedure/calibration_run.h"
#include "ui/common/window_guard.h"
#include "ui/run/run_plan_page.h"
#include "ui/run/run_point_tree.h"
#include <QTimer>
#include <memory>

class QStackedWidget;
class TCalibrationRecords;
class TDM_1;
class TPlacementStore;
class TRunProgressPage;
class TRunResultPage;

class TFormCalibrationRun : public TGuardedForm
{
    Q_OBJECT
public:
    // Throws FormAlreadyOpenError while another run window is open.
    TFormCalibrationRun(TDM_1 &dm, TCalibrationRecords &records, const RunWindowSetup &setup = {},
                        QWidget *owner = nullptr);
    ~TFormCalibrationRun() override;

    using PointState = TRunPointTree::PointState;
    static QString PointStateTitle(PointState state) { return TRunPointTree::PointStateTitle(state); }
    PointState pointState(RunPhase phase, int index) const;

    // A plan file into the plan page; false with the reason shown.
    bool loadPlan(const QString &path) { return Page_Plan->loadPlan(path); }
    void Button_StartClick();

    // Null until a run starts.
    TCalibrationRun *run() const { return m_run.get(); }
    // Q Max of the meter as last reported, 0 while unknown.
    float meterQMax() const { return m_qMax; }

    QStackedWidget *Pages;
    TRunPlanPage *Page_Plan;
    TRunProgressPage *Page_Run;
    TRunResultPage *Page_Result;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void refuse(const QString &message);
    void startRun(RunOptions options);
    void onFinished(const RunRecord &record);
    // Asks the meter for Q Max; the answer lands in the register image.
    void readQMax();
    void showQMax();
    // The window's one claim on the meter: held while its run is live or its restore
    // runs, released as soon as neither is.
    void holdMeter();

    TDM_1 &m_dm;
    TCalibrationRecords &m_records;
    std::unique_ptr<TPlacementStore> m_placement;
    std::unique_ptr<TRig> m_rig;
    std::unique_ptr<TCalibrationRun> m_run;
    float m_qMax = 0.0f;
    // Running while a Q Max read is awaited.
    QTimer m_qMaxWait;
    QString m_claim; // the reason the meter is held for; empty: not held
};
