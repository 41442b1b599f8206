#include "support/scripted_link.h"
#include "protocol/protokol_usb.h"
#include <QDateTime>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace {
// 19200 baud, ten bit times a byte: how long an answer takes on the wire (ms).
int WireMs(qsizetype bytes)
{
    return int(1 + bytes * 10 * 1000 / 19200);
}
} // namespace

ScriptedLink::ScriptedLink(const MeterPhysicsOptions &physics, double timeScale, QObject *parent)
    : TMeterLink(parent), m_model(physics), m_timeScale(timeScale),
      m_pacer([this](const QByteArray &frame) { return write(frame); })
{
    m_clock.start();
    connect(&m_pacer, &TransmitPacer::frameWritten, this, &TMeterLink::frameWritten);
    connect(&m_pacer, &TransmitPacer::writeFailed, this, [this] { scheduleRecovery(); });
}

ScriptedLink::~ScriptedLink()
{
    QObject::disconnect(&m_pacer, nullptr, this, nullptr);
    m_pacer.clear();
}

int ScriptedLink::scaled(int ms) const
{
    return std::max(1, int(std::lround(ms / std::max(m_timeScale, 1.0))));
}

void ScriptedLink::catchUp()
{
    m_model.advanceTo(double(m_clock.nsecsElapsed()) / 1e9 * m_timeScale);
}

ScriptedLink::FrameMatch ScriptedLink::Function(quint8 function, int addr)
{
    return [function, addr](const QByteArray &f) {
        return f.size() >= 7 && quint8(f[1]) == function && (addr < 0 || (quint8(f[2]) << 8 | quint8(f[3])) == addr);
    };
}

ScriptedLink::FrameMatch ScriptedLink::Command(quint16 command)
{
    return Exactly(Proto::writeWordFrame(Proto::CommandRegister, command));
}

ScriptedLink::FrameMatch ScriptedLink::Exactly(const QByteArray &frame)
{
    return [frame](const QByteArray &f) { return f == frame; };
}

ScriptedLink::FrameMatch ScriptedLink::Nth(int n, FrameMatch match)
{
    auto seen = std::make_shared<int>(0);
    return [n, match = std::move(match), seen](const QByteArray &f) { return match(f) && ++*seen == n; };
}

void ScriptedLink::loseLinkAt(FrameMatch match, Cut cut, int backAfterAttempts)
{
    m_faults.append({cut == Cut::Before ? Kind::LoseBefore : Kind::LoseAfter, std::move(match), backAfterAttempts});
}

void ScriptedLink::loseLink(int backAfterAttempts)
{
    lose(backAfterAttempts);
    closePort();
}

void ScriptedLink::dropAt(FrameMatch match)
{
    m_faults.append({Kind::Drop, std::move(match), 0});
}

void ScriptedLink::answerLateAt(FrameMatch match, int delayMs)
{
    m_faults.append({Kind::Late, std::move(match), delayMs});
}

void ScriptedLink::sendFrame(const QByteArray &frame, FrameKind kind, int extraPauseMs)
{
    // The data module's contract: refused when closed, queued through the pacer otherwise.
    if (!m_open)
        throw LinkError(QStringLiteral("Порт не открыт"));
    const bool isRead = kind == FrameKind::CountedRead;
    const int pause = scaled((isRead ? TransmitPacer::PauseAfterReadMs : TransmitPacer::PauseAfterWriteMs)
                             + std::max(0, extraPauseMs));
    if (!m_pacer.enqueue(frame, pause, isRead))
        throw LinkError(QStringLiteral(" %1: не удалось передать запрос").arg(portName()));
}

bool ScriptedLink::write(const QByteArray &frame)
{
    if (!m_open || m_lost)
        return false;
    // Every matcher sees every frame, so that each one's count stays true.
    bool drop = false;
    int lateMs = 0;
    std::optional<Fault> loss;
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        if (!it->match(frame)) {
            ++it;
            continue;
        }
        if (it->kind == Kind::Drop)
            drop = true;
        else if (it->kind == Kind::Late)
            lateMs += it->arg;
        else
            loss = *it;
        it = m_faults.erase(it);
    }
    if (loss && loss->kind == Kind::LoseBefore) {
        lose(loss->arg);
        return false;
    }
    catchUp();
    const QByteArray reply = drop ? QByteArray() : m_model.handleRequest(frame);
    if (loss) {
        lose(loss->arg);
        return true;
    }
    if (!reply.isEmpty()) {
        // Never inside sendFrame: the real line answers from the event loop.
        QTimer::singleShot(scaled(WireMs(frame.size() + reply.size())) + lateMs, this,
                           [this, reply, session = m_session] { answer(reply, session); });
    }
    return true;
}

void ScriptedLink::answer(const QByteArray &reply, int session)
{
    if (session != m_session || !m_open)
        return;
    m_image.take(reply, QDateTime::currentDateTimeUtc());
    emit registersTaken(quint8(reply[1]) == Proto::FnReadData ? int(RegisterSpace::Data) : int(RegisterSpace::Params),
                        quint8(reply[2]) << 8 | quint8(reply[3]), quint8(reply[4]) << 8 | quint8(reply[5]));
    emit answerAccepted(reply);
}

void ScriptedLink::lose(int backAfterAttempts)
{
    m_lost = true;
    m_backAfter = backAfterAttempts;
    m_failedAttempts = 0;
    // The port reports its error; the data module recovers from the event loop.
    scheduleRecovery();
}

void ScriptedLink::scheduleRecovery()
{
    if (m_recoveryPending)
        return;
    m_recoveryPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_recoveryPending)
                applyRecoveryRule();
        },
        Qt::QueuedConnection);
}

void ScriptedLink::closePort()
{
    if (!m_open)
        return;
    m_open = false;
    ++m_session;
    m_pacer.clear();
    m_image.clear();
    emit portClosedSignal();
}

void ScriptedLink::applyRecoveryRule()
{
    m_recoveryPending = false;
    closePort();
    if (m_lost) {
        if (m_backAfter < 0 || m_failedAttempts < m_backAfter) {
            ++m_failedAttempts;
            return;
        }
        m_lost = false;
    }
    m_open = true;
}

bool ScriptedLink::sendUnderRecoveryRule(const std::function<void()> &send, bool recoverWhenClosed)
{
    if (!m_open) {
        if (recoverWhenClosed)
            applyRecoveryRule();
        return false;
    }
    try {
        send();
        return true;
    } catch (...) {
        // Any error of the send; the remaining requests are not sent.
    }
    applyRecoveryRule();
    return false;
}
