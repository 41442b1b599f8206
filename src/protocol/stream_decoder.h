#pragma once
// Reassembles response frames from the byte stream of the serial port. The buffer
// lives across notifications, so answers split over several arrivals, or several
// answers in one arrival, are all decoded. Bytes that cannot start a known frame
// are skipped one at a time.
//
// Two rules keep a truncated answer from ever being finished by the next one:
// - a later arrival that carries the complete header of an answer starts a new
//   answer: the partial one before it is given up;
// - a partial answer whose line has been seen quiet for the quiet time is given up
//   (expireStale). Only the caller can tell a quiet line from a busy event loop, so
//   the time between two feeds alone never drops anything.
#include "protocol/lib_types.h"
#include <QByteArray>
#include <functional>

struct BlockSpec;

class StreamDecoder
{
public:
    static constexpr qint64 DefaultStaleMs = 100;

    using FrameHandler = std::function<void(const AnyRecord &)>;

    explicit StreamDecoder(qint64 staleMs = DefaultStaleMs) : m_staleMs(staleMs) {}

    // Appends bytes received at nowMs (a monotonic clock). Then takes every
    // complete frame from the front and calls onFrame for each, in order.
    // If onFrame throws, the frame is already consumed: the exception propagates
    // and the remaining bytes wait for the next call to feed() or drain().
    void feed(const QByteArray &bytes, qint64 nowMs, const FrameHandler &onFrame);
    // Decodes what is already buffered (after a handler threw).
    void drain(const FrameHandler &onFrame);
    // Call when the port has been read empty: if no byte came for the quiet time,
    // the partial answer in the buffer can never be completed and is dropped;
    // complete answers buffered behind it are still decoded. True when it dropped.
    bool expireStale(qint64 nowMs, const FrameHandler &onFrame);
    void clear();

    qint64 staleMs() const { return m_staleMs; }
    qint64 lastByteMs() const { return m_lastByteMs; }
    qint64 acceptedFrames() const { return m_accepted; }
    // The frame whose record onFrame is handling now (empty outside onFrame).
    QByteArrayView currentFrame() const { return m_current; }
    // Every byte fed is accepted (in a frame), dropped, or still buffered.
    qint64 acceptedBytes() const { return m_acceptedBytes; }
    qint64 droppedBytes() const { return m_dropped; }
    // Bytes waiting for the rest of an answer. Bounded: after every call what is
    // left is the start of one possible answer, shorter than the longest block.
    int buffered() const { return int(m_buffer.size() - m_head); }

private:
    enum class Front { Frame, NeedMore, Invalid };
    Front examineFront(int &frameLength, const BlockSpec *&block) const;
    bool laterArrivalStartsAnAnswer(int frameLength) const;
    void removeFront(qsizetype count);
    QByteArrayView front() const;

    QByteArray m_buffer;
    QByteArray m_current;
    qsizetype m_head = 0; // the front's index in m_buffer
    // Offset of the first byte that came in a later feed than the front's bytes; 0: none.
    qsizetype m_laterArrival = 0;
    // Bytes at the front that came before a quiet gap; no frame may span the gap.
    qsizetype m_staleBytes = 0;
    qint64 m_lastByteMs = 0;
    qint64 m_staleMs;
    qint64 m_accepted = 0;
    qint64 m_acceptedBytes = 0;
    qint64 m_dropped = 0;
};
