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
        // What is still buffered after a quiet gap is a partial answer that will never be
        // completed: the new bytes must not finish it.
        if (nowMs - m_lastByteMs >= m_staleMs)
            m_staleBytes = m_buffer.size();
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

void StreamDecoder::clear()
{
    m_buffer.clear();
    m_staleBytes = 0;
}

void StreamDecoder::removeFront(qsizetype count)
{
    m_buffer.remove(0, count);
    m_staleBytes = std::max<qsizetype>(0, m_staleBytes - count);
}

StreamDecoder::Front StreamDecoder::examineFront(int &frameLength, const BlockSpec *&block) const
{
    if (m_buffer.size() < HeaderLength)
        return isHeaderPrefix(m_buffer) ? Front::NeedMore : Front::Invalid;
    block = FindBlockByHeader(m_buffer.left(HeaderLength));
    if (!block)
        return Front::Invalid;
    frameLength = block->length();
    // An answer that began before the gap cannot be finished by later bytes.
    if (m_staleBytes > 0 && frameLength > m_staleBytes)
        return Front::Invalid;
    if (m_buffer.size() < frameLength)
        return Front::NeedMore;
    if (quint8(m_buffer.at(frameLength - 1)) != Proto::EndByte)
        return Front::Invalid;
    return Front::Frame;
}
