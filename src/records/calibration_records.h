#pragma once
// Calibration safety for every window: a snapshot of what the meter holds just
// before each write that changes its calibration, taken from the register image
// (not a single frame more on the wire), and a bit-for-bit check of what the meter
// reports when the written area is read back.
#include "records/record_store.h"
#include <QObject>
#include <memory>

class TMeterLink;

class TCalibrationRecords : public QObject
{
    Q_OBJECT
public:
    TCalibrationRecords(TMeterLink &dm, std::unique_ptr<TRecordStore> store, QObject *parent = nullptr);
    ~TCalibrationRecords() override;

    // Stores what the image holds of these areas now. The snapshot's id, or 0 when
    // it could not be kept (snapshotFailed says why); the write goes ahead either way.
    qint64 keepBefore(SnapshotReason reason, const QList<CalibrationArea> &areas);
    // A save wrote these raw parameter registers; readBack is the read that follows
    // it. The first answer to that read is compared with what was written.
    void expectReadBack(qint64 snapshotId, CalibrationArea area, int firstRegister, const QVector<quint16> &written,
                        const QByteArray &readBack);

    // Stores a snapshot taken some other way (a backup, an import); its id or 0.
    qint64 keep(const Snapshot &snapshot);
    TRecordStore &store() { return *m_store; }

    // The raw registers a float is written as: the low half first.
    static QVector<quint16> FloatRegisters(const QList<float> &values);

Q_SIGNALS:
    void snapshotKept(qint64 id);
    void snapshotFailed(const QString &reason);
    // The meter reported other values than were written: which, in words.
    void readBackRefused(const QString &message);
    // Every armed check once its answer came: whether the meter reported what was written.
    void readBackChecked(qint64 snapshotId, CalibrationArea area, bool matched);

private:
    struct Expectation
    {
        qint64 snapshotId;
        CalibrationArea area;
        int first;
        QVector<quint16> written;
        QByteArray readBack;
        bool armed = false;
    };
    void onFrameWritten(const QByteArray &frame, bool isRead);
    void onRegistersTaken(int space, int first, int count);

    TMeterLink &m_dm;
    std::unique_ptr<TRecordStore> m_store;
    // Bounded: one per save in flight, dropped when the port closes.
    QList<Expectation> m_expected;
};
