#pragma once
// Reassembles response frames from the byte stream of the serial port. The buffer
// lives across notifications, so answers split over several arrivals, or several
// answers in one arrival, are all decoded. Bytes that cannot start a known frame
// are skipped one at a time; a partial frame that gets no new byte for the quiet
// time is dropped, but complete answers queued behind it are still decoded.
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
    void clear();

    qint64 acceptedFrames() const { return m_accepted; }
    qint64 droppedBytes() const { return m_dropped; }
    int buffered() const { return int(m_buffer.size()); }

private:
    enum class Front { Frame, NeedMore, Invalid };
    Front examineFront(int &frameLength, const BlockSpec *&block) const;
    void removeFront(qsizetype count);

    QByteArray m_buffer;
    // Bytes at the front that arrived before a quiet gap; no frame may span the gap.
    qsizetype m_staleBytes = 0;
    qint64 m_lastByteMs = 0;
    qint64 m_staleMs;
    qint64 m_accepted = 0;
    qint64 m_dropped = 0;
};
