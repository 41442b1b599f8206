#pragma once
// "Калибровка по шагам": a face over one TCalibrationRun. The plan page gathers
// the meter, the operator, the rig and the plan; the run page follows the run's
// signals and answers its questions in place; the result page shows the record.
// No run logic lives here: every decision is the run's.
#include "procedure/calibration_run.h"
#include "ui/common/window_guard.h"
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QTableWidgetItem;
class QTreeWidget;
class QTreeWidgetItem;
class TCalibrationReader;
class TCalibrationRecords;
class TCalibrationRestorer;
class TDM_1;
class TForm_History;
class TLiveChart;
class TPlacementStore;
class TRunResultView;
struct RestoreOutcome;

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

class TFormCalibrationRun : public TGuardedForm
{
    Q_OBJECT
public:
    // Throws FormAlreadyOpenError while another run window is open.
    TFormCalibrationRun(TDM_1 &dm, TCalibrationRecords &records, const RunWindowSetup &setup = {},
                        QWidget *owner = nullptr);
    ~TFormCalibrationRun() override;

    // Row of a point state on the run page, as the list shows it.
    enum class PointState { Waiting, Settling, Averaging, Done, Retry, Skipped };
    static QString PointStateTitle(PointState state);

    // Handlers.
    void Button_CheckRigClick();
    // A plan file into the page; false with the reason shown.
    bool loadPlan(const QString &path);
    void Button_StartClick();
    void Button_PauseClick();
    void Button_ResumeClick();
    void Button_RetakeClick();
    void Button_AbortClick();
    void Button_WriteTableClick();
    void Button_OperatorDoneClick();
    // The result page's restore: the meter read, the restore dialog, the restore engine.
    void restoreSnapshot(qint64 snapshotId);
    // The history window on the run's own record ("Открыть запись").
    void openHistory(qint64 runId);

    // Null until a run starts.
    TCalibrationRun *run() const { return m_run.get(); }
    // Q Max of the meter as last reported, 0 while unknown.
    float meterQMax() const { return m_qMax; }
    PointState pointState(RunPhase phase, int index) const;

    QStackedWidget *Pages;
    QWidget *Page_Plan, *Page_Run, *Page_Result;
    // Plan page.
    QLineEdit *Edit_Serial, *Edit_Operator;
    QComboBox *ComboBox_Rig;
    QLineEdit *Edit_RigAddress, *Edit_RigDevice, *Edit_RigMap;
    // The simulator's --time-scale, so that the run's times match its clock.
    QLineEdit *Edit_TimeScale;
    QPushButton *Button_RigMap;
    QLineEdit *Edit_RefName, *Edit_RefCertificate;
    QDateEdit *Date_RefDue;
    QPushButton *Button_CheckRig;
    QLabel *Label_CheckRig;
    QLabel *Label_QMax;
    QPushButton *Button_LoadPlan;
    QTableWidget *Table_Points;
    QTableWidget *Table_Settings;
    QLabel *Label_PlanError;
    QPushButton *Button_Start;
    // Run page.
    QLabel *Label_State;
    QTreeWidget *Tree_Points;
    TLiveChart *Chart_Point;
    QLabel *Label_Stability;
    QProgressBar *Progress_Run;
    QLabel *Label_TimeLeft;
    QPushButton *Button_Pause, *Button_Resume, *Button_Retake, *Button_Abort;
    QPlainTextEdit *Memo_Events;
    QFrame *Panel_Table;
    QLabel *Label_Table;
    QTableWidget *Table_Write;
    QPushButton *Button_WriteTable, *Button_TableAbort;
    QFrame *Panel_Operator;
    QLabel *Label_Operator;
    QLineEdit *Edit_OperatorReference;
    QPushButton *Button_OperatorDone;
    // Result page.
    TRunResultView *View_Result;
    QLabel *Label_Restore;
    QPushButton *Button_NewRun;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *buildPlanPage();
    QWidget *buildRunPage();
    QWidget *buildResultPage();
    void connectHandlers();
    void fillPlan(const RunPlan &plan);
    void showRigFields();
    void showFlows();
    void readQMax();
    void remember() const;
    void recall();
    // The plan as typed; a bad cell is marked and named in error.
    std::optional<RunPlan> planFromCells(QString *error);
    void clearMarks();
    void markCell(QTableWidgetItem *item, const QString &message);
    QTableWidgetItem *cellOf(const QString &field) const;
    // The chosen rig, made but not opened; null with the reason.
    std::unique_ptr<TRig> makeRig(QString *error, double *timeScale);
    void refuse(const QString &message);

    void startRun(const RunOptions &options);
    void buildPointList(const RunPlan &plan);
    QTreeWidgetItem *pointItem(RunPhase phase, int index) const;
    void setPointState(RunPhase phase, int index, PointState state, const QString &note = QString());
    void onStateChanged(RunState state, const QString &text);
    void onPointStarted(RunPhase phase, int index, double targetFlow);
    void onSettling(double meterFlow, double referenceFlow, double meterSigma, double referenceSigma);
    void onPointTaken(const RunPoint &point);
    void onTableReady(const FlowTableSave::Values &values);
    void onOperatorNeeded(OperatorRequest request, double targetFlow, const QString &text);
    void onProgress(int done, int total);
    void onFinished(const RunRecord &record);
    void onRestoreFinished(const RestoreOutcome &outcome);
    void note(const QString &text);
    void showButtons();

    TDM_1 &m_dm;
    TCalibrationRecords &m_records;
    RunWindowSetup m_setup;
    std::unique_ptr<TPlacementStore> m_placement;
    std::unique_ptr<TRig> m_checkRig;
    std::unique_ptr<TRig> m_rig;
    std::unique_ptr<TCalibrationRun> m_run;
    RunPlan m_plan;
    double m_timeScale = 1.0;
    float m_qMax = 0.0f;
    std::optional<OperatorRequest> m_asked;
    std::optional<std::pair<RunPhase, int>> m_current;
    QHash<QTreeWidgetItem *, int> m_attempts;
    TCalibrationReader *m_reader;
    TCalibrationRestorer *m_restorer;
    qint64 m_restoreTarget = 0;
    QPointer<TForm_History> m_history;
};
