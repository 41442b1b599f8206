#pragma once
// Local first, plant second: the workstation writes every record to its own SQLite
// file; this sends what waits to the plant's store, right away while the server
// answers, and again on start, every few minutes and when asked while it does not.
// Uploads are idempotent on each record's uuid, so a retry, a crash midway or two
// workstations at once never lose or double a record. Timers only: no threads.
#include "records/record_store.h"
#include <QObject>
#include <QSet>
#include <QTimer>
#include <memory>

class TPlantSync : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultRetryMs = 180000; // after the server failed
    static constexpr int DefaultWatchMs = 2000;   // local writes looked for this often

    // The plant's URL: the command line's, else $KESTRO_RECORDS_URL, else the setting
    // records/plant_url; empty: no plant, records stay local.
    static QString ConfiguredUrl(const QString &commandLine = QString());
    static void SetConfiguredUrl(const QString &url); // the setting

    TPlantSync(const QString &localLocation, const QString &plantUrl, QObject *parent = nullptr);
    ~TPlantSync() override;

    QString plantUrl() const { return m_plantUrl; }
    // Starts watching and makes the first pass at once.
    void start();
    // A pass as soon as the event loop turns, whatever the retry timer says.
    void syncNow();
    // Every local record waits again, then a pass (for a plant that never had them).
    bool pushAll();
    void setIntervals(int retryMs, int watchMs);

    // -1 until known, or when the local store cannot be read.
    int waitingCount() const { return m_waiting; }
    // Empty after a pass that sent everything.
    QString lastError() const { return m_error; }
    bool isSyncing() const { return m_passing; }
    int uploadedCount() const { return m_uploaded; } // in this object's life

signals:
    void waitingCountChanged(int count);
    void lastErrorChanged(const QString &error);
    // A pass ended: everything sent (ok), or the server failed or a record did not go.
    void passFinished(bool ok);

private:
    void watch();
    void step();
    void endPass(bool ok);
    void setError(const QString &error);
    void countWaiting();

    QString m_plantUrl;
    std::unique_ptr<TRecordStore> m_local;
    std::unique_ptr<TRecordStore> m_plant;
    QTimer m_watch, m_retry;
    QList<UploadItem> m_batch;
    QSet<QString> m_skipped; // records that failed in this pass; the next pass tries them again
    bool m_passing = false;
    bool m_passFailed = false;
    bool m_firstStep = false;
    int m_waiting = -1;
    int m_uploaded = 0;
    QString m_error;
};
