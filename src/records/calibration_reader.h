#pragma once
// Reads calibration areas afresh with the program's own read requests and waits
// for their answers: only an answer to a request that left after start counts.
// Unanswered requests are sent once more before the meter counts as silent.
#include "records/area_requests.h"
#include "records/snapshot.h"
#include <QObject>
#include <QTimer>

class TMeterLink;

class TCalibrationReader : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultAnswerTimeoutMs = 2000;

    explicit TCalibrationReader(TMeterLink &dm, int answerTimeoutMs = DefaultAnswerTimeoutMs, QObject *parent = nullptr);

    void start(const QList<CalibrationArea> &areas);
    void cancel();
    bool isRunning() const { return m_running; }
    int total() const { return m_total; }
    // After finished: the areas as the meter now reports them.
    Snapshot snapshot(SnapshotReason reason, const QString &note = QString()) const;

Q_SIGNALS:
    void progress(int answered, int total);
    void finished();
    void failed(const QString &message);

private:
    struct Pending
    {
        AreaRead read;
        QByteArray frame;
        bool sent = false; // on the wire since the last (re)send
    };
    void sendPending();
    void onFrameWritten(const QByteArray &frame, bool isRead);
    void onRegistersTaken(int space, int first, int count);
    void onSilence();
    void fail(const QString &message);

    TMeterLink &m_dm;
    QList<CalibrationArea> m_areas;
    QList<Pending> m_pending;
    QTimer m_watchdog;
    int m_total = 0;
    int m_retriesLeft = 0;
    bool m_running = false;
};
