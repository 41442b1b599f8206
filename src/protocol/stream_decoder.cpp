#include "protocol/stream_decoder.h"

#include "protocol/protokol_usb.h"
#include "protocol/response_blocks.h"

#include <QScopeGuard>
#include <algorithm>

namespace {

constexpr int HeaderLength = 6;
// Consumed bytes are cut off the buffer once this many have gathered (or at once
// when nothing is left), so the front moves by an index, never by a copy per byte.
constexpr qsizetype CompactAfter = 4096;

// True when the bytes (start byte included, fewer than a full header) could still
// grow into the header of some block.
bool isHeaderPrefix(QByteArrayView bytes)
{
    for (const BlockSpec &block : ResponseBlocks()) {
        const quint8 header[HeaderLength] = {Proto::StartByte, block.function, 0, block.addr, 0,
                                             block.count};
        bool match = true;
        for (qsizetype i = 0; i < bytes.size() && i < HeaderLength && match; ++i)
            match = quint8(bytes.at(i)) == header[i];
        if (match)
            return true;
    }
    return false;
}

} // namespace

QByteArrayView StreamDecoder::front() const
{
    return QByteArrayView(m_buffer).sliced(m_head);
}

void StreamDecoder::feed(const QByteArray &bytes, qint64 nowMs, const FrameHandler &onFrame)
{
    if (!bytes.isEmpty()) {
        if (buffered() > 0 && m_laterArrival == 0)
            m_laterArrival = buffered();
        m_buffer.append(bytes);
        m_lastByteMs = nowMs;
    }
    drain(onFrame);
}

void StreamDecoder::drain(const FrameHandler &onFrame)
{
    while (buffered() > 0) {
        const qsizetype start = front().indexOf(char(Proto::StartByte));
        if (start != 0) {
            const qsizetype skip = start < 0 ? buffered() : start;
            m_dropped += skip;
            removeFront(skip);
            continue;
        }

        int length = 0;
        const BlockSpec *block = nullptr;
        switch (examineFront(length, block)) {
        case Front::NeedMore:
            return;
        case Front::Invalid:
            ++m_dropped;
            removeFront(1);
            break;
        case Front::Frame: {
            // Consumed before the handler runs, so a throwing handler cannot make it repeat.
            const QByteArray frame = front().first(length).toByteArray();
            removeFront(length);
            ++m_accepted;
            m_acceptedBytes += length;
            const AnyRecord record = DecodeBlock(*block, frame);
            if (onFrame) {
                m_current = frame;
                // Cleared however the handler leaves, a throw included.
                const auto done = qScopeGuard([this] { m_current.clear(); });
                onFrame(record);
            }
            break;
        }
        }
    }
}

bool StreamDecoder::expireStale(qint64 nowMs, const FrameHandler &onFrame)
{
    if (buffered() == 0 || nowMs - m_lastByteMs < m_staleMs)
        return false;
    const qint64 droppedBefore = m_dropped;
    // Everything buffered now is stale, and stays so if a handler throws midway:
    // no frame that needs bytes beyond these can be completed any more.
    m_staleBytes = buffered();
    drain(onFrame);
    return m_dropped > droppedBefore;
}

void StreamDecoder::clear()
{
    m_buffer.clear();
    m_head = 0;
    m_laterArrival = 0;
    m_staleBytes = 0;
}

void StreamDecoder::removeFront(qsizetype count)
{
    m_head += count;
    m_laterArrival = m_laterArrival > count ? m_laterArrival - count : 0;
    m_staleBytes = m_staleBytes > count ? m_staleBytes - count : 0;
    if (m_head == m_buffer.size()) {
        m_buffer.clear();
        m_head = 0;
    } else if (m_head >= CompactAfter) {
        m_buffer.remove(0, m_head);
        m_head = 0;
    }
}

// True when bytes of a later arrival, inside the frame the front announces, hold the
// complete header of an answer: the front is then the head of a truncated answer.
bool StreamDecoder::laterArrivalStartsAnAnswer(int frameLength) const
{
    if (m_laterArrival == 0)
        return false;
    const QByteArrayView bytes = front();
    const qsizetype last = std::min<qsizetype>(frameLength, bytes.size()) - HeaderLength;
    for (qsizetype p = m_laterArrival; p <= last; ++p) {
        if (quint8(bytes.at(p)) == Proto::StartByte && FindBlockByHeader(bytes.sliced(p, HeaderLength)))
            return true;
    }
    return false;
}

StreamDecoder::Front StreamDecoder::examineFront(int &frameLength, const BlockSpec *&block) const
{
    const QByteArrayView bytes = front();
    // A front that began before a quiet gap cannot be finished by bytes after it.
    const auto needs = [this](qsizetype length) {
        return m_staleBytes > 0 && length > m_staleBytes ? Front::Invalid : Front::NeedMore;
    };
    if (bytes.size() < HeaderLength)
        return isHeaderPrefix(bytes) ? needs(HeaderLength) : Front::Invalid;
    block = FindBlockByHeader(bytes.first(HeaderLength));
    if (!block)
        return Front::Invalid;
    frameLength = block->length();
    if (laterArrivalStartsAnAnswer(frameLength))
        return Front::Invalid;
    if (m_staleBytes > 0 && frameLength > m_staleBytes)
        return Front::Invalid;
    if (bytes.size() < frameLength)
        return needs(frameLength);
    if (quint8(bytes.at(frameLength - 1)) != Proto::EndByte)
        return Front::Invalid;
    return Front::Frame;
}
