#include "link/own_reads.h"
#include "link/dm1.h"
#include "protocol/protokol_usb.h"

TOwnReads::TOwnReads(TDM_1 &dm, QObject *parent) : QObject(parent), m_dm(dm)
{
    connect(&dm.pacer(), &TransmitPacer::frameWritten, this, &TOwnReads::onFrameWritten);
    connect(&dm, &TDM_1::portClosedSignal, this, [this] { m_reads.clear(); });
}

QByteArray TOwnReads::send(quint8 function, quint16 addr, quint16 count)
{
    const QByteArray frame = Proto::readFrame(function, addr, count);
    // An earlier read of ours is superseded: its answer may come before this one leaves.
    m_reads.remove(frame);
    m_dm.sendFrame(frame, FrameKind::CountedRead);
    // Left at once on a quiet line (0), or waits behind identical reads; if the queue
    // took none for it, the last identical waiting read (a backup's) stands in.
    m_reads.insert(frame, m_dm.pacer().waiting(frame));
    return frame;
}

void TOwnReads::onFrameWritten(const QByteArray &frame, bool isRead)
{
    if (!isRead)
        return;
    const auto it = m_reads.find(frame);
    if (it != m_reads.end() && *it > 0)
        --*it;
}

bool TOwnReads::take(const QByteArray &frame)
{
    const auto it = m_reads.constFind(frame);
    if (it == m_reads.cend() || *it != 0)
        return false;
    m_reads.erase(it);
    emit taken(frame);
    return true;
}

void TOwnReads::forget(const QByteArray &frame)
{
    m_reads.remove(frame);
}
