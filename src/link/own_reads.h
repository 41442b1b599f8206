#pragma once
// The reads a window sent for its own edit boxes. Backups, comparisons and restores
// read the same registers with the same frames; their answers go into the register
// image like any other, but must not replace what the engineer typed. So a box takes
// an answer only while its owner's read is out: from the moment that read is on the
// wire (an answer to an earlier, identical read belongs to someone else) until its
// first answer, the port closing, or the engineer typing over the boxes. Sent again
// while an identical read is still queued, only the last one (or the queued read
// that stands in for it) counts.
#include <QByteArray>
#include <QHash>
#include <QObject>

class TDM_1;

class TOwnReads : public QObject
{
    Q_OBJECT
public:
    explicit TOwnReads(TDM_1 &dm, QObject *parent = nullptr);

    // Sends a counted read (throws LinkError like every send) and waits for its answer.
    // Returns the frame, the read's name in the calls below.
    QByteArray send(quint8 function, quint16 addr, quint16 count);
    // In the handler of the read's answer: true once, for the first answer after
    // the read left; false for answers to reads this owner did not send.
    bool take(const QByteArray &frame);
    // The boxes the read would fill were typed over: its answer no longer fills them.
    void forget(const QByteArray &frame);
    bool isWaiting(const QByteArray &frame) const { return m_reads.contains(frame); }

Q_SIGNALS:
    // take() gave this read's answer to its boxes.
    void taken(const QByteArray &frame);

private:
    void onFrameWritten(const QByteArray &frame, bool isRead);

    TDM_1 &m_dm;
    // Per read: how many identical frames must still leave before it is on the wire.
    QHash<QByteArray, int> m_reads;
};
