#pragma once
// One way to put a snapshot back, for every window that offers it: the meter read
// as it is now, the areas chosen in the restore dialog, the question when the
// snapshot was taken from another meter, then the restore engine. The window shows
// the stages in its own words.
#include "records/snapshot.h"
#include <QObject>
#include <QPointer>

class QWidget;
class TCalibrationReader;
class TCalibrationRestorer;
class TDM_1;
class TRecordStore;
struct RestoreOutcome;

class TRestoreFlow : public QObject
{
    Q_OBJECT
public:
    // window: the dialogs' parent; title: the message boxes'.
    TRestoreFlow(TDM_1 &dm, TRecordStore &store, QWidget *window, const QString &title);
    ~TRestoreFlow() override;

    // Reads the meter, then asks. False with the reason when busy or the port is closed.
    bool start(const Snapshot &target, QString *why = nullptr);
    // The areas known already (a restore cut short): only the other-meter question.
    bool restore(const Snapshot &target, const QList<CalibrationArea> &areas);
    bool isBusy() const { return m_busy; }
    bool isRestoring() const;
    bool canCancel() const;
    // Stops the read quietly, or the restore before its first write.
    void cancel();

Q_SIGNALS:
    void busyChanged(bool busy);
    void readProgress(int done, int total);
    // The meter as read, just before the dialog asks.
    void meterRead(const Snapshot &target, const Snapshot &now);
    // The engine began writing (after its own read of the way back).
    void restoreStarted();
    void stageChanged(const QString &text, int done, int total);
    // Nothing was written: the read failed.
    void failed(const QString &message);
    // The dialog was cancelled or the other-meter question answered no.
    void declined();
    void finished(const RestoreOutcome &outcome);

private:
    void ask(const Snapshot &target, const Snapshot &now);
    void setBusy(bool busy);

    TDM_1 &m_dm;
    QPointer<QWidget> m_window;
    QString m_title;
    TCalibrationReader *m_reader;
    TCalibrationRestorer *m_restorer;
    std::optional<Snapshot> m_target; // while the meter is read for it
    bool m_busy = false;
};
