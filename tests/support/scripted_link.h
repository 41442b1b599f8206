#pragma once
// A meter link without a port: the simulator's meter model answers in-process, through
// the real transmit pacer, a little after each frame goes out (never inside sendFrame).
// A test tells it, at a frame it picks by content, to lose the link (and whether it comes
// back), to drop a frame on the way, or to answer late. For faults no real peer gives on cue.
#include "link/meter_link.h"
#include "link/transmit_pacer.h"
#include "sim/meter_model.h"
#include <QElapsedTimer>
#include <QList>
#include <functional>

class ScriptedLink : public TMeterLink
{
public:
    using FrameMatch = std::function<bool(const QByteArray &frame)>;
    static constexpr int NeverBack = -1;

    // Where a loss falls around its frame.
    enum class Cut {
        Before, // the frame is refused, as by a port that is gone; the meter never sees it
        After,  // the frame reaches the meter, then the line drops before any answer
    };

    // timeScale: simulated seconds per clock second, as the run's and the simulator's; the
    // wire's pauses and answer times shrink with it, as the run's own times do.
    explicit ScriptedLink(const MeterPhysicsOptions &physics = {}, double timeScale = 1.0, QObject *parent = nullptr);
    ~ScriptedLink() override;

    MeterModel &model() { return m_model; }
    // Brings the model's physics up to now.
    void catchUp();

    // Frame matchers for the faults below.
    static FrameMatch Function(quint8 function, int addr = -1);
    static FrameMatch Command(quint16 command);
    static FrameMatch Exactly(const QByteArray &frame);
    // Matches the n-th frame (from 1) that match matches, counted from when the fault is armed.
    static FrameMatch Nth(int n, FrameMatch match);

    // At the first frame matched: the link is lost; it comes back at the recovery attempt
    // after backAfterAttempts failed ones (0: at the first), or never (NeverBack).
    void loseLinkAt(FrameMatch match, Cut cut, int backAfterAttempts);
    // Loses the link now (the port closes, portClosedSignal) with the same return rule.
    void loseLink(int backAfterAttempts);
    // The matched frame goes out and counts as sent, but the meter never takes it.
    void dropAt(FrameMatch match);
    // The answer to the matched frame comes delayMs later than usual.
    void answerLateAt(FrameMatch match, int delayMs);
    // A lost link that was never to come back returns at the next recovery attempt.
    void allowReturn() { m_backAfter = 0; }

    // Faults armed and not yet met.
    int faultsPending() const { return int(m_faults.size()); }

    // TMeterLink.
    bool isPortOpen() const override { return m_open; }
    QString portName() const override { return QStringLiteral("scripted"); }
    QString portSerialNumber() const override { return m_open ? QStringLiteral("SCRIPTED-1") : QString(); }
    const TRegisterImage &registerImage() const override { return m_image; }
    bool sendUnderRecoveryRule(const std::function<void()> &send, bool recoverWhenClosed = true) override;
    void applyRecoveryRule() override;
    void sendFrame(const QByteArray &frame, FrameKind kind, int extraPauseMs = 0) override;

private:
    enum class Kind { LoseBefore, LoseAfter, Drop, Late };
    struct Fault
    {
        Kind kind;
        FrameMatch match;
        int arg; // return rule for a loss, delay for a late answer
    };

    bool write(const QByteArray &frame);
    int scaled(int ms) const;
    void lose(int backAfterAttempts);
    void closePort();
    void scheduleRecovery();
    void answer(const QByteArray &answer, int session);

    MeterModel m_model;
    double m_timeScale;
    QElapsedTimer m_clock;
    TransmitPacer m_pacer;
    TRegisterImage m_image;
    QList<Fault> m_faults;
    bool m_open = true;
    bool m_lost = false;
    bool m_recoveryPending = false;
    int m_backAfter = 0;
    int m_failedAttempts = 0;
    int m_session = 0; // answers of an earlier connection are never delivered
};
