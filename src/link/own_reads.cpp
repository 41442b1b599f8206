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
    // Before sending: on a quiet line the frame leaves inside sendFrame. An identical
    // read still queued (a backup's) stands in for this one and counts when it leaves.
    m_reads.insert(frame, State::Queued);
    try {
        m_dm.sendFrame(frame, FrameKind::CountedRead);
    } catch (...) {
        m_reads.remove(frame);
        throw;
    }
    return frame;
}

void TOwnReads::onFrameWritten(const QByteArray &frame, bool isRead)
{
    if (!isRead)
        return;
    const auto it = m_reads.find(frame);
    if (it != m_reads.end())
        *it = State::OnWire;
}

bool TOwnReads::take(const QByteArray &frame)
{
    const auto it = m_reads.constFind(frame);
    if (it == m_reads.cend() || *it != State::OnWire)
        return false;
    m_reads.erase(it);
    emit taken(frame);
    return true;
}

void TOwnReads::forget(const QByteArray &frame)
{
    m_reads.remove(frame);
}
