#pragma once
// Serves a MeterModel on a pseudo-terminal, like the meter behind its USB port.
#include "sim/meter_model.h"
#include "sim/rig_physics.h"
#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

struct SimOptions
{
    MeterPhysicsOptions physics;
    bool byteTiming = false;     // deliver answers at 19200-baud byte timing
    int chunkBytes = 0;          // deliver answers in chunks of N bytes (0: whole)
    int chunkGapMs = 3;          // pause between chunks
    bool glue = false;           // hold each answer and send it glued to the next
    int noiseBytes = 0;          // random bytes (never 0x1F) before each answer
    bool silent = false;         // read requests but never answer
    int hangupAfterFrames = 0;   // close the terminal once, after answering N requests (0: never)
    int returnAfterMs = -1;      // after a hang-up, serve again after this time (<0: never)
    QString linkPath;            // stable symlink that always points at the current terminal
    double timeScale = 1.0;      // simulated seconds per second of the clock (tests run the rig faster)
};

struct ReceivedRequest
{
    QByteArray frame;
    qint64 atMs; // monotonic, since the server started
};

class MeterServer : public QObject
{
    Q_OBJECT
public:
    explicit MeterServer(const SimOptions &options = {}, QObject *parent = nullptr);
    // A meter in series on a shared rig (which must outlive the server): options.physics
    // are the meter's own, the rig's part of them is the rig's.
    MeterServer(const SimOptions &options, RigPhysics &rig, QObject *parent = nullptr);
    ~MeterServer() override;

    // Runs on another server's clock, so that meters on one rig keep one time; call it
    // before start, after the other's start.
    void followClockOf(const MeterServer &other);

    // Opens the pseudo-terminal. Returns false with a message on failure.
    // Call it in the thread that is to serve: its notifier and timers live there.
    bool start(QString *error = nullptr);
    void stop();
    // Closes the terminal now (as an unplug); comes back after returnAfterMs if set.
    void hangUp();
    bool isServing() const;

    // The path clients open: the symlink when one is set, else the terminal's path.
    QString devicePath() const;
    MeterModel &model();
    // Brings the model's physics up to the server's clock (it advances on requests otherwise).
    void catchUp();
    // The latest requests received, oldest first (at most MaxRecordedRequests).
    static constexpr qsizetype MaxRecordedRequests = 4096;
    QList<ReceivedRequest> received() const;
    void clearReceived();
    SimOptions &options();

Q_SIGNALS:
    void requestReceived(const QByteArray &frame, qint64 atMs);
    void hungUpSignal();
    void servingAgain(const QString &devicePath);

private:
    bool openTerminal(QString *error);
    void closeTerminal();
    void readRequests();
    void deliver(const QByteArray &answer);
    void pump();

    struct Impl;
    std::unique_ptr<Impl> d;
};
