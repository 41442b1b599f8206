#include "sim/request_framer.h"

#include "protocol/protokol_usb.h"

namespace {
enum class Scan { Frame, NeedMore, Invalid };

// Judges the bytes at the front of the buffer; sets length for a frame.
Scan scan(const QByteArray &b, int *length)
{
    if (quint8(b.at(0)) != Proto::StartByte)
        return Scan::Invalid;
    if (b.size() < 2)
        return Scan::NeedMore;
    const quint8 function = quint8(b.at(1));
    if (function != Proto::FnReadData && function != Proto::FnReadParams && function != Proto::FnWriteParams)
        return Scan::Invalid;
    if (b.size() < 6)
        return Scan::NeedMore;
    const int count = quint8(b.at(4)) << 8 | quint8(b.at(5));
    int need = 7;
    if (function == Proto::FnWriteParams) {
        if (count < 1 || count > RequestFramer::MaxWriteRegisters)
            return Scan::Invalid;
        need += 2 * count;
    }
    if (b.size() < need)
        return Scan::NeedMore;
    if (quint8(b.at(need - 1)) != Proto::EndByte)
        return Scan::Invalid;
    *length = need;
    return Scan::Frame;
}
} // namespace

QList<QByteArray> RequestFramer::feed(const QByteArray &bytes, qint64 nowMs)
{
    if (!m_buffer.isEmpty() && nowMs - m_lastByteAtMs > StaleGapMs)
        m_buffer.clear();
    if (!bytes.isEmpty())
        m_lastByteAtMs = nowMs;
    m_buffer.append(bytes);

    QList<QByteArray> frames;
    while (!m_buffer.isEmpty()) {
        int length = 0;
        const Scan s = scan(m_buffer, &length);
        if (s == Scan::NeedMore)
            break;
        if (s == Scan::Invalid) {
            const qsizetype next = m_buffer.indexOf(char(Proto::StartByte), 1);
            m_buffer.remove(0, next < 0 ? m_buffer.size() : next);
            continue;
        }
        frames.append(m_buffer.left(length));
        m_buffer.remove(0, length);
    }
    return frames;
}

void RequestFramer::clear()
{
    m_buffer.clear();
}
