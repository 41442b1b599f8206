#pragma once
// The manual backup: the engineer's note, a fresh read of every calibration area
// with its progress (cancellable, the window stays live), one complete snapshot.
#include <QObject>
#include <QPointer>
#include <QProgressDialog>

class QWidget;
class TCalibrationReader;
class TCalibrationRecords;
class TDM_1;

class TBackupAction : public QObject
{
    Q_OBJECT
public:
    TBackupAction(TDM_1 &dm, TCalibrationRecords &records, QWidget *window);

    // Asks for the note, then reads; false when the engineer cancelled the note.
    bool start();
    // Reads and stores with this note, no question asked.
    void startWithNote(const QString &note);
    bool isRunning() const;
    QProgressDialog *progressDialog() const { return m_progress; }

Q_SIGNALS:
    // The snapshot's id, or 0 with what went wrong.
    void done(qint64 id, const QString &message);

private:
    void finish(qint64 id, const QString &message);

    TDM_1 &m_dm;
    TCalibrationRecords &m_records;
    QWidget *m_window;
    TCalibrationReader *m_reader;
    QPointer<QProgressDialog> m_progress;
    QString m_note;
};
