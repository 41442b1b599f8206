#include "sim/meter_server.h"

#include "protocol/protokol_usb.h"
#include "sim/request_framer.h"
#include "sim/terminal.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <random>

namespace {
// 19200 baud, 8N1: ten bit times per byte.
constexpr qint64 ByteNs = 10 * 1'000'000'000LL / 19200;
// Beyond this the client is not reading; a meter does not buffer forever.
constexpr qsizetype MaxPendingBytes = 64 * 1024;
// Lets the client take the last answer before the line drops.
constexpr int HangUpDelayMs = 50;
} // namespace

struct MeterServer::Impl
{
    explicit Impl(const SimOptions &o) : options(o), model(o.physics), noiseRng(o.physics.seed ^ 0x5EEDu) {}
    Impl(const SimOptions &o, RigPhysics &rig) : options(o), model(o.physics, rig), noiseRng(o.physics.seed ^ 0x5EEDu) {}

    SimOptions options;
    MeterModel model;
    QElapsedTimer clock;
    PseudoTerminal pty;
    RequestFramer framer;
    QSocketNotifier *notifier = nullptr;
    QTimer *sendTimer = nullptr;
    QTimer *returnTimer = nullptr;
    QTimer *hangUpTimer = nullptr;

    QByteArray out;       // answer bytes not yet on the wire
    QByteArray held;      // glued answer waiting for the next one
    bool holding = false;
    qint64 wireFreeNs = 0; // when the last byte handed to the wire has gone
    qint64 nextWriteNs = 0; // earliest time for the next chunk
    int framesThisSession = 0;
    bool hangUpDone = false;
    bool hangUpPending = false;
    QString madeLink; // only a link we made is removed
    std::mt19937 noiseRng;

    mutable QMutex mutex; // guards what other threads may ask for
    QList<ReceivedRequest> received;
    QString path;
    bool serving = false;
};

MeterServer::MeterServer(const SimOptions &options, QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>(options))
{
}

MeterServer::MeterServer(const SimOptions &options, RigPhysics &rig, QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>(options, rig))
{
}

void MeterServer::followClockOf(const MeterServer &other)
{
    if (other.d->clock.isValid())
        d->clock = other.d->clock;
}

MeterServer::~MeterServer()
{
    stop();
}

MeterModel &MeterServer::model()
{
    return d->model;
}

void MeterServer::catchUp()
{
    if (d->clock.isValid())
        d->model.advanceTo(double(d->clock.nsecsElapsed()) / 1e9 * d->options.timeScale);
}

SimOptions &MeterServer::options()
{
    return d->options;
}

QList<ReceivedRequest> MeterServer::received() const
{
    QMutexLocker lock(&d->mutex);
    return d->received;
}

void MeterServer::clearReceived()
{
    QMutexLocker lock(&d->mutex);
    d->received.clear();
}

bool MeterServer::isServing() const
{
    QMutexLocker lock(&d->mutex);
    return d->serving;
}

QString MeterServer::devicePath() const
{
    QMutexLocker lock(&d->mutex);
    return d->path;
}

bool MeterServer::start(QString *error)
{
    if (d->pty.isOpen())
        return true;
    if (!d->clock.isValid())
        d->clock.start();
    // Made here, not in the constructor, so they live in the thread that serves.
    if (!d->sendTimer) {
        d->sendTimer = new QTimer(this);
        d->sendTimer->setSingleShot(true);
        d->sendTimer->setTimerType(Qt::PreciseTimer);
        connect(d->sendTimer, &QTimer::timeout, this, [this] { pump(); });
        d->returnTimer = new QTimer(this);
        d->returnTimer->setSingleShot(true);
        connect(d->returnTimer, &QTimer::timeout, this, [this] {
            QString why;
            if (d->pty.isOpen())
                return; // started again meanwhile
            if (openTerminal(&why))
                Q_EMIT servingAgain(devicePath());
            else
                qWarning("meter simulator: cannot serve again: %s", qPrintable(why));
        });
        d->hangUpTimer = new QTimer(this);
        d->hangUpTimer->setSingleShot(true);
        connect(d->hangUpTimer, &QTimer::timeout, this, &MeterServer::hangUp);
    }
    return openTerminal(error);
}

bool MeterServer::openTerminal(QString *error)
{
    if (!openPseudoTerminal(&d->pty, error))
        return false;
    if (!d->options.linkPath.isEmpty() && !pointLinkAt(d->options.linkPath, d->pty.slavePath, error)) {
        closePseudoTerminal(&d->pty);
        return false;
    }
    d->madeLink = d->options.linkPath;
    d->framer.clear();
    d->out.clear();
    d->held.clear();
    d->holding = false;
    d->hangUpPending = false;
    d->framesThisSession = 0;
    d->notifier = new QSocketNotifier(qintptr(d->pty.master), QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] { readRequests(); });
    QMutexLocker lock(&d->mutex);
    d->path = d->options.linkPath.isEmpty() ? d->pty.slavePath : d->options.linkPath;
    d->serving = true;
    return true;
}

void MeterServer::closeTerminal()
{
    if (d->notifier) {
        // Deferred: we may be inside this notifier's own activation.
        d->notifier->setEnabled(false);
        d->notifier->deleteLater();
        d->notifier = nullptr;
    }
    if (d->sendTimer)
        d->sendTimer->stop();
    if (d->hangUpTimer)
        d->hangUpTimer->stop();
    closePseudoTerminal(&d->pty);
    if (!d->madeLink.isEmpty())
        removeLink(d->madeLink);
    d->madeLink.clear();
    d->out.clear();
    d->held.clear();
    d->holding = false;
    d->hangUpPending = false;
    QMutexLocker lock(&d->mutex);
    d->serving = false;
}

void MeterServer::stop()
{
    if (d->returnTimer)
        d->returnTimer->stop();
    closeTerminal();
}

void MeterServer::hangUp()
{
    if (!d->pty.isOpen())
        return;
    closeTerminal();
    Q_EMIT hungUpSignal();
    if (d->options.returnAfterMs >= 0 && d->returnTimer)
        d->returnTimer->start(d->options.returnAfterMs);
}

void MeterServer::readRequests()
{
    QByteArray bytes;
    ReadResult r = ReadResult::Ok;
    while (r == ReadResult::Ok && bytes.size() < 65536)
        r = readSome(d->pty.master, &bytes, 4096);
    if (r == ReadResult::Failed && d->notifier) {
        // Only when the slave side is gone altogether; stop listening rather than spin.
        d->notifier->setEnabled(false);
    }
    const qint64 nowMs = d->clock.elapsed();
    const QList<QByteArray> frames = d->framer.feed(bytes, nowMs);
    for (const QByteArray &frame : frames) {
        if (d->hangUpPending)
            break; // the line is about to drop
        {
            QMutexLocker lock(&d->mutex);
            d->received.append({frame, nowMs});
            // A demo runs for a whole shift: only the latest requests are kept.
            if (d->received.size() > MeterServer::MaxRecordedRequests)
                d->received.remove(0, d->received.size() - MeterServer::MaxRecordedRequests);
        }
        Q_EMIT requestReceived(frame, nowMs);
        if (!d->pty.isOpen())
            return; // a receiver stopped the server or hung it up
        d->model.advanceTo(double(d->clock.nsecsElapsed()) / 1e9 * d->options.timeScale);
        const QByteArray answer = d->model.handleRequest(frame);
        if (!answer.isEmpty() && !d->options.silent)
            deliver(answer);
        ++d->framesThisSession;
        if (d->options.hangupAfterFrames > 0 && !d->hangUpDone
            && d->framesThisSession >= d->options.hangupAfterFrames) {
            d->hangUpDone = true;
            d->hangUpPending = true;
            d->framer.clear();
            pump();
            return;
        }
    }
}

void MeterServer::deliver(const QByteArray &answer)
{
    QByteArray bytes;
    if (d->options.noiseBytes > 0) {
        std::uniform_int_distribution<int> byte(0, 254);
        for (int i = 0; i < d->options.noiseBytes; ++i) {
            const int b = byte(d->noiseRng);
            bytes.append(char(b >= Proto::StartByte ? b + 1 : b)); // never a start byte
        }
    }
    bytes.append(answer);
    if (d->holding && !d->options.glue) {
        bytes.prepend(d->held); // glue was switched off: let the held answer go too
        d->held.clear();
        d->holding = false;
    }
    if (d->options.glue) {
        if (!d->holding) {
            d->held = bytes;
            d->holding = true;
            return;
        }
        bytes.prepend(d->held);
        d->held.clear();
        d->holding = false;
    }
    if (d->out.size() + bytes.size() > MaxPendingBytes)
        return;
    if (d->out.isEmpty())
        d->wireFreeNs = std::max(d->wireFreeNs, d->clock.nsecsElapsed());
    d->out.append(bytes);
    pump();
}

void MeterServer::pump()
{
    if (!d->pty.isOpen()) {
        d->out.clear();
        return;
    }
    const auto wakeIn = [this](qint64 ns) {
        d->sendTimer->start(int(std::max<qint64>(1, (ns + 999'999) / 1'000'000)));
    };
    const bool chunked = d->options.chunkBytes > 0;
    while (!d->out.isEmpty()) {
        const qint64 now = d->clock.nsecsElapsed();
        if (now < d->nextWriteNs)
            return wakeIn(d->nextWriteNs - now);
        qint64 n = d->out.size();
        if (d->options.byteTiming) {
            // Only bytes whose time on the wire has passed.
            const qint64 due = (now - d->wireFreeNs) / ByteNs;
            if (due <= 0)
                return wakeIn(d->wireFreeNs + ByteNs - now);
            n = std::min(n, due);
        }
        if (chunked)
            n = std::min<qint64>(n, d->options.chunkBytes);
        const qint64 written = writeSome(d->pty.master, d->out.constData(), n);
        if (written < 0) {
            d->out.clear();
            break;
        }
        if (written == 0)
            return wakeIn(5'000'000); // the client is not reading; try again shortly
        d->out.remove(0, written);
        if (d->options.byteTiming)
            d->wireFreeNs += written * ByteNs;
        if (chunked && !d->out.isEmpty())
            d->nextWriteNs = now + qint64(std::max(0, d->options.chunkGapMs)) * 1'000'000;
    }
    if (d->hangUpPending && !d->hangUpTimer->isActive())
        d->hangUpTimer->start(HangUpDelayMs);
}
