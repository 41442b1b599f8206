#include "protocol/stream_decoder.h"

#include "protocol/protokol_usb.h"
#include "protocol/response_blocks.h"

#include <algorithm>

namespace {

constexpr int HeaderLength = 6;

// True when the bytes (start byte included, fewer than a full header) could still
// grow into the header of some block.
bool isHeaderPrefix(const QByteArray &bytes)
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

void StreamDecoder::feed(const QByteArray &bytes, qint64 nowMs, const FrameHandler &onFrame)
{
    if (!bytes.isEmpty()) {
        if (!m_buffer.isEmpty() && m_laterArrival == 0)
            m_laterArrival = m_buffer.size();
        m_buffer.append(bytes);
        m_lastByteMs = nowMs;
    }
    drain(onFrame);
}

void StreamDecoder::drain(const FrameHandler &onFrame)
{
    while (!m_buffer.isEmpty()) {
        const qsizetype start = m_buffer.indexOf(char(Proto::StartByte));
        if (start != 0) {
            const qsizetype skip = start < 0 ? m_buffer.size() : start;
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
            const QByteArray frame = m_buffer.left(length);
            removeFront(length);
            ++m_accepted;
            const AnyRecord record = DecodeBlock(*block, frame);
            if (onFrame)
                onFrame(record);
            break;
        }
        }
    }
}

bool StreamDecoder::expireStale(qint64 nowMs, const FrameHandler &onFrame)
{
    if (m_buffer.isEmpty() || nowMs - m_lastByteMs < m_staleMs)
        return false;
    const qint64 droppedBefore = m_dropped;
    m_expiring = true;
    try {
        drain(onFrame);
    } catch (...) {
        m_expiring = false;
        throw;
    }
    m_expiring = false;
    return m_dropped > droppedBefore;
}

void StreamDecoder::clear()
{
    m_buffer.clear();
    m_laterArrival = 0;
}

void StreamDecoder::removeFront(qsizetype count)
{
    m_buffer.remove(0, count);
    m_laterArrival = m_laterArrival > count ? m_laterArrival - count : 0;
}

// True when bytes of a later arrival, inside the frame the front announces, hold the
// complete header of an answer: the front is then the head of a truncated answer.
bool StreamDecoder::laterArrivalStartsAnAnswer(int frameLength) const
{
    if (m_laterArrival == 0)
        return false;
    const qsizetype last = std::min<qsizetype>(frameLength, m_buffer.size()) - HeaderLength;
    for (qsizetype p = m_laterArrival; p <= last; ++p) {
        if (quint8(m_buffer.at(p)) == Proto::StartByte && FindBlockByHeader(m_buffer.mid(p, HeaderLength)))
            return true;
    }
    return false;
}

StreamDecoder::Front StreamDecoder::examineFront(int &frameLength, const BlockSpec *&block) const
{
    const Front needMore = m_expiring ? Front::Invalid : Front::NeedMore;
    if (m_buffer.size() < HeaderLength)
        return isHeaderPrefix(m_buffer) ? needMore : Front::Invalid;
    block = FindBlockByHeader(m_buffer.left(HeaderLength));
    if (!block)
        return Front::Invalid;
    frameLength = block->length();
    if (laterArrivalStartsAnAnswer(frameLength))
        return Front::Invalid;
    if (m_buffer.size() < frameLength)
        return needMore;
    if (quint8(m_buffer.at(frameLength - 1)) != Proto::EndByte)
        return Front::Invalid;
    return Front::Frame;
}
