#pragma once
// The run window's second page: the run's points with their states, the current
// point's live chart and stability, the time left, and the run's questions answered
// in place (the operator's readings, the table before it is written).
#include "procedure/calibration_run.h"
#include "ui/run/run_point_tree.h"
#include <QPointer>
#include <QWidget>
#include <optional>

class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class TLiveChart;

class TRunProgressPage : public QWidget
{
    Q_OBJECT
public:
    explicit TRunProgressPage(QWidget *parent = nullptr);

    using PointState = TRunPointTree::PointState;

    // Follows this run from its start; the run outlives the page's use of it.
    void follow(TCalibrationRun *run, const RunOptions &options, const QString &rigDescription);
    // The run ended: what was not taken is marked skipped.
    void showEnd(const RunRecord &record);

    // Handlers.
    void Button_PauseClick();
    void Button_ResumeClick();
    void Button_RetakeClick();
    void Button_AbortClick();
    void Button_WriteTableClick();
    void Button_OperatorDoneClick();

    QLabel *Label_State;
    TRunPointTree *Tree_Points;
    TLiveChart *Chart_Point;
    // In place of the flow chart while a temperature settles.
    TLiveChart *Chart_Temperature;
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

private:
    QFrame *buildOperatorPanel();
    QFrame *buildTablePanel();
    void onStateChanged(RunState state, const QString &text);
    void onPointStarted(RunPhase phase, int index, double targetFlow);
    void onSettling(double meterFlow, double referenceFlow, double meterSigma, double referenceSigma);
    void onTemperatureSettling(double setpoint, double tube, double reference, double tubeSigma, double referenceSigma);
    void onPointTaken(const RunPoint &point);
    void onTableReady(const FlowTableSave::Values &values);
    void onTwoPointReady(CalibrationArea area, const TwoPointSave::Points &points);
    void showWriteRows(const QStringList &headings, const QList<std::array<double, 2>> &rows);
    void onOperatorNeeded(OperatorRequest request, double targetFlow, const QString &text);
    void onProgress(int done, int total);
    void note(const QString &text);
    void showButtons();

    QPointer<TCalibrationRun> m_run;
    RunPlan m_plan;
    double m_timeScale = 1.0;
    std::optional<OperatorRequest> m_asked;
    std::optional<std::pair<RunPhase, int>> m_current;
};
