#pragma once
// Puts a snapshot's areas back into the meter: a fresh read of everything and a
// "before restore" snapshot first (the way back), then the program's own writes
// for those areas, paced like every write, then command 24, then a second read
// and a register-by-register check that the meter holds exactly what was restored.
#include "records/calibration_reader.h"
#include "records/snapshot_store.h"

struct RestoreOutcome
{
    bool restored = false;
    qint64 beforeRestoreId = 0; // 0: nothing was written
    QList<CalibrationArea> written;
    QList<CalibrationArea> notWritten;
    QStringList differing; // "Калибровка расхода: регистр 23", ...
    QString message;       // what the engineer reads
};

class TCalibrationRestorer : public QObject
{
    Q_OBJECT
public:
    TCalibrationRestorer(TDM_1 &dm, TSnapshotStore &store, int answerTimeoutMs = TCalibrationReader::DefaultAnswerTimeoutMs,
                         QObject *parent = nullptr);

    // Areas the snapshot does not hold, or that are not written, are left out.
    void start(const Snapshot &target, const QList<CalibrationArea> &areas);
    bool isRunning() const { return m_stage != Stage::Idle; }
    // Only before the first write; afterwards the restore runs to its end.
    bool canCancel() const { return m_stage == Stage::ReadingBefore; }
    void cancel();

    static QList<CalibrationArea> RestorableAreas(const Snapshot &target, const QList<CalibrationArea> &wanted);
    // The areas' registers have their lengths and hold values a meter may be given;
    // false with the area and value named.
    static bool CheckRestorable(const Snapshot &target, const QList<CalibrationArea> &areas, QString *error);

Q_SIGNALS:
    void stageChanged(const QString &text, int done, int total);
    void finished(const RestoreOutcome &outcome);

private:
    enum class Stage { Idle, ReadingBefore, Writing, ReadingAfter };
    void onReadFinished();
    void onReadFailed(const QString &message);
    void onFrameWritten(const QByteArray &frame, bool isRead);
    void writeAreas();
    void check();
    void finish(RestoreOutcome outcome);
    QString writtenSummary() const;

    TDM_1 &m_dm;
    TSnapshotStore &m_store;
    TCalibrationReader m_reader;
    Snapshot m_target;
    QList<CalibrationArea> m_areas;
    Stage m_stage = Stage::Idle;
    RestoreOutcome m_outcome;
    // The write frames in the order they leave, each with the area it completes.
    struct Step
    {
        QByteArray frame;
        std::optional<CalibrationArea> completes;
    };
    QList<Step> m_steps;
    qsizetype m_nextStep = 0;
};
