#pragma once
// The run window's last page: the run's record, with the way back to the
// calibration the meter had before it and the run's place in the history.
#include "records/run_record.h"
#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class TCalibrationRecords;
class TDM_1;
class TForm_History;
class TRestoreFlow;
class TRunResultView;

class TRunResultPage : public QWidget
{
    Q_OBJECT
public:
    TRunResultPage(TDM_1 &dm, TCalibrationRecords &records, QWidget *parent = nullptr);

    void showRun(const RunRecord &record, bool canRestore);
    // "Вернуть прежнюю калибровку": the restore flow every window uses.
    void restoreSnapshot(qint64 snapshotId);
    // The history window on the run's own record ("Открыть запись").
    void openHistory(qint64 runId);
    TRestoreFlow &restoreFlow() const { return *m_restore; }

    TRunResultView *View_Result;
    QLabel *Label_Restore;
    QPushButton *Button_NewRun;

private:
    TDM_1 &m_dm;
    TCalibrationRecords &m_records;
    TRestoreFlow *m_restore;
    QPointer<TForm_History> m_history;
};
