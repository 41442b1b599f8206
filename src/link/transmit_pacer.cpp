#include "link/transmit_pacer.h"
#include <algorithm>

namespace {
constexpr qint64 NsPerMs = 1000000;
}

TransmitPacer::TransmitPacer(Writer writer, QObject *parent)
    : QObject(parent), m_writer(std::move(writer))
{
    m_clock.start();
    m_timer.setSingleShot(true);
    // A coarse timer may fire up to 5 % early or late; the spacing is checked against
    // the clock anyway, but a precise timer keeps the wire from idling longer than needed.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &TransmitPacer::onTimer);
}

bool TransmitPacer::enqueue(const QByteArray &frame, int pauseAfterMs, bool isRead)
{
    Pending pending{frame, std::max(0, pauseAfterMs), isRead};
    if (m_queue.empty() && m_clock.nsecsElapsed() >= m_quietUntilNs)
        return writeNow(pending);

    if (isRead) {
        // Only a read behind the last waiting write can stand in for this one: a read
        // before a write would answer with what the write is about to change.
        const auto lastWrite = std::find_if(m_queue.rbegin(), m_queue.rend(), [](const Pending &p) { return !p.isRead; });
        const bool alreadyWaiting = std::any_of(m_queue.rbegin(), lastWrite, [&](const Pending &p) {
            return p.frame == frame;
        });
        if (alreadyWaiting)
            return true;
    }
    if (int(m_queue.size()) >= MaxWaiting) {
        // A poll that outruns the wire must not grow the queue: its oldest read is stale anyway.
        const auto oldestRead = std::find_if(m_queue.begin(), m_queue.end(),
                                             [](const Pending &p) { return p.isRead; });
        if (oldestRead != m_queue.end())
            m_queue.erase(oldestRead);
    }
    m_queue.push_back(std::move(pending));
    arm();
    return true;
}

int TransmitPacer::waiting(const QByteArray &frame) const
{
    return int(std::count_if(m_queue.begin(), m_queue.end(), [&](const Pending &p) { return p.frame == frame; }));
}

void TransmitPacer::clear()
{
    m_queue.clear();
    m_timer.stop();
}

bool TransmitPacer::writeNow(const Pending &p)
{
    if (!m_writer(p.frame))
        return false;
    // The quiet time counts from the moment the bytes were handed to the port.
    m_quietUntilNs = m_clock.nsecsElapsed() + qint64(p.pauseMs) * NsPerMs;
    emit frameWritten(p.frame, p.isRead);
    return true;
}

void TransmitPacer::onTimer()
{
    if (m_queue.empty())
        return;
    if (m_clock.nsecsElapsed() < m_quietUntilNs) {
        arm(); // fired early
        return;
    }
    const Pending next = std::move(m_queue.front());
    m_queue.pop_front();
    if (!writeNow(next)) {
        m_queue.clear();
        m_timer.stop();
        emit writeFailed();
        return;
    }
    arm();
}

void TransmitPacer::arm()
{
    if (m_queue.empty()) {
        m_timer.stop();
        return;
    }
    const qint64 remainingNs = m_quietUntilNs - m_clock.nsecsElapsed();
    const int ms = remainingNs <= 0 ? 0 : int((remainingNs + NsPerMs - 1) / NsPerMs);
    m_timer.start(ms);
}
