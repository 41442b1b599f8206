#pragma once
// The calibration history: every snapshot newest first, a comparison with the
// meter now or between two snapshots, restore, export and import. Reads and the
// restore run in the background with their progress shown; the window stays live.
// Beside the snapshots, the calibration runs, each openable and printable again.
#include "records/run_record.h"
#include "records/snapshot.h"
#include "records/record_store.h"
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QProgressBar;
class QTabWidget;
class QCheckBox;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class TCalibrationReader;
class TCalibrationRecords;
class TDM_1;
class TRestoreFlow;
class TRunResultView;
class TUnfinishedRestorePanel;
struct RestoreOutcome;
struct RestoreRecord;

class TForm_History : public QWidget
{
    Q_OBJECT
public:
    TForm_History(TDM_1 &dm, TCalibrationRecords &records, QWidget *owner = nullptr);
    ~TForm_History() override;

    void refresh();
    // The snapshots the list shows, in its order.
    const QList<Snapshot> &snapshots() const { return m_snapshots; }
    void selectSnapshot(qint64 id, bool add = false);

    // Handlers.
    void Button_CompareMeterClick();
    void Button_CompareTwoClick();
    void Button_RestoreClick();
    void Button_ExportClick();
    void Button_ImportClick();
    void Button_CancelClick();
    // What the file buttons do once a file is chosen; false with a message box on failure.
    bool exportTo(const QString &fileName);
    bool importFrom(const QString &fileName);

    // The runs of the meters whose serial contains the filter's text, newest first.
    void refreshRuns();
    const QList<RunRecord> &runs() const { return m_runs; }
    // The run on a read-only result view in a window of its own; none, with a message
    // box, when the store has no such run.
    TRunResultView *openRun(qint64 runId);
    // The "Калибровки" list with the run chosen and opened: for a run just finished.
    TRunResultView *showRunRecord(qint64 runId);
    void Button_OpenRunClick();

    QTableWidget *Grid_Snapshots;
    QPushButton *Button_CompareMeter;
    QPushButton *Button_CompareTwo;
    QPushButton *Button_Restore;
    QPushButton *Button_Export;
    QPushButton *Button_Import;
    QPushButton *Button_PlantStore;
    QTreeWidget *Tree_Compare;
    QProgressBar *Progress;
    QPushButton *Button_Cancel;
    QLabel *Label_Result;
    TUnfinishedRestorePanel *Panel_Unfinished;
    QTabWidget *Tabs; // "Снимки", "Калибровки"
    QLineEdit *Edit_RunSerial;
    // The plant's runs instead of this workstation's (enabled while a plant store is set).
    QCheckBox *CB_PlantRuns;
    QTableWidget *Grid_Runs;
    QPushButton *Button_OpenRun;
    QLabel *Label_Runs;

Q_SIGNALS:
    // A restore ended; "восстановлено" or what went wrong.
    void restoreFinished(const QString &message);
    // A restore wrote to the meter (restored: all of it, and the meter holds it).
    void restoreWrote(bool restored);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    // Columns as wide as their texts, the note always in sight.
    void fitColumns();
    QList<Snapshot> selected() const;
    // Reads the meter's calibration, then hands the state to then.
    void readMeter(const std::function<void(const Snapshot &)> &then);
    void setBusy(bool busy, const QString &stage = QString());
    void onRestoreFinished(const RestoreOutcome &outcome);
    // Finishing or undoing a restore cut short: that snapshot, those areas, once confirmed.
    void restoreFromJournal(qint64 snapshotId, const RestoreRecord &record, const QString &what);
    void updateButtons();
    QWidget *makeRunsPage();
    qint64 selectedRunId() const;
    // The store the run list reads: the plant's when chosen, else the local one.
    TRecordStore &runsStore();

    TDM_1 &m_dm;
    TCalibrationRecords &m_records;
    TCalibrationReader *m_reader;
    // Read, dialog, other-meter question, restore.
    TRestoreFlow *m_restore;
    std::function<void(const Snapshot &)> m_afterRead;
    QList<Snapshot> m_snapshots;
    QList<RunRecord> m_runs;
    std::unique_ptr<TRecordStore> m_plant; // opened when the plant list is first chosen
    QString m_plantUrl;
    bool m_busy = false;
};
