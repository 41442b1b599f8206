#pragma once
// Puts a snapshot's areas back into the meter: a fresh read of everything and a
// "before restore" snapshot first (the way back), a journal entry that the restore
// has begun, then the program's own writes for those areas, paced like every write,
// then command 24, then a second read. Each area's state and the verdict come from
// that read: the registers and the coefficients the meter recomputed must be the
// snapshot's. A link lost midway is waited for, so the read can still be had.
#include "records/calibration_reader.h"
#include "records/restore_report.h"
#include "records/record_store.h"
#include <QElapsedTimer>

struct RestoreOutcome
{
    bool restored = false;
    qint64 beforeRestoreId = 0; // 0: nothing was written
    qint64 journalId = 0;
    // Every area the restore set out to write.
    QMap<CalibrationArea, AreaRestoreState> states;
    QStringList differing; // "Калибровка расхода: регистр 23", ...
    QString message;       // what the engineer reads

    QList<CalibrationArea> areasIn(AreaRestoreState state) const;
};

class TCalibrationRestorer : public QObject
{
    Q_OBJECT
public:
    // How long a link lost during the writes is waited for before the areas stay unchecked.
    static constexpr int DefaultReconnectMs = 10000;

    TCalibrationRestorer(TMeterLink &dm, TRecordStore &store, int answerTimeoutMs = TCalibrationReader::DefaultAnswerTimeoutMs,
                         QObject *parent = nullptr);

    void setReconnectMs(int ms) { m_reconnectMs = ms; }
    // Areas the snapshot does not hold, or that are not written, are left out.
    // A snapshot that is not stored yet (from a file) is stored first, so that an
    // interrupted restore can be finished later.
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
    enum class Stage { Idle, ReadingBefore, Writing, WaitingForLink, ReadingAfter };
    void onReadFinished();
    void onReadFailed(const QString &message);
    void onFrameWritten(const QByteArray &frame, bool isRead);
    void onLinkLost(const QString &message);
    void tryReconnect();
    bool beginJournal();
    void writeAreas();
    void check();
    void finishWithoutReadBack();
    void finish(RestoreOutcome outcome);

    TMeterLink &m_dm;
    TRecordStore &m_store;
    TCalibrationReader m_reader;
    Snapshot m_target;
    Snapshot m_before;
    QList<CalibrationArea> m_areas;
    Stage m_stage = Stage::Idle;
    RestoreOutcome m_outcome;
    // The write frames in the order they leave, each with its area (none: command 24).
    struct Step
    {
        QByteArray frame;
        std::optional<CalibrationArea> area;
    };
    QList<Step> m_steps;
    qsizetype m_nextStep = 0;
    QString m_linkLost; // why the writes stopped early
    int m_reconnectMs = DefaultReconnectMs;
    QTimer m_reconnect;
    QElapsedTimer m_waiting;
};
