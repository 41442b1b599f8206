#pragma once
// Cuts request frames out of the byte stream the meter receives. Requests may
// arrive split or several at once; bytes that cannot start a frame are skipped
// one at a time until the next start byte.
#include <QByteArray>
#include <QList>

class RequestFramer
{
public:
    // Appends bytes received at nowMs and returns the complete frames now
    // available. A partial frame older than the gap limit is dropped first,
    // as the meter's receiver times out between requests.
    QList<QByteArray> feed(const QByteArray &bytes, qint64 nowMs);
    void clear();
    // Bounded: what waits is the start of one request, at most the longest write.
    int pendingBytes() const { return int(m_buffer.size()); }

    static constexpr qint64 StaleGapMs = 200;
    // Longest write the meter accepts (its whole parameter space).
    static constexpr int MaxWriteRegisters = 128;

private:
    QByteArray m_buffer;
    qint64 m_lastByteAtMs = 0;
};
