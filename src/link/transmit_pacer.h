#pragma once
// Keeps the wire spacing between requests without ever sleeping: frames wait in a
// FIFO and each is written only when the previous one's quiet time has passed.
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

class TransmitPacer : public QObject
{
    Q_OBJECT
public:
    static constexpr int PauseAfterWriteMs = 50;
    static constexpr int PauseAfterReadMs = 50;
    // Beyond this many waiting frames the oldest waiting read is dropped. Writes are
    // never dropped: they come from the engineer's actions, not from timers, so
    // their number is bounded by what he clicks (a flow save is seven).
    static constexpr int MaxWaiting = 64;

    // writer returns false when the port refused the bytes.
    using Writer = std::function<bool(const QByteArray &)>;

    explicit TransmitPacer(Writer writer, QObject *parent = nullptr);

    // Writes now when the line is quiet, else queues. A read identical to one still
    // waiting (and not followed by a write) is not queued again. Returns false when the frame was written at once
    // and the writer refused it (nothing else is then queued).
    bool enqueue(const QByteArray &frame, int pauseAfterMs, bool isRead);
    // Drops every waiting frame (port closed). The quiet time of the last frame
    // written still holds.
    void clear();
    int waiting() const { return int(m_queue.size()); }
    // How many frames identical to this one are waiting.
    int waiting(const QByteArray &frame) const;

Q_SIGNALS:
    // A queued frame could not be written; the queue has been dropped.
    void writeFailed();
    // The frame went out to the port; isRead tells a counted read from a write.
    void frameWritten(const QByteArray &frame, bool isRead);

private:
    struct Pending
    {
        QByteArray frame;
        int pauseMs;
        bool isRead;
    };
    bool writeNow(const Pending &p);
    void onTimer();
    void arm();

    Writer m_writer;
    std::deque<Pending> m_queue;
    QElapsedTimer m_clock;
    qint64 m_quietUntilNs = 0; // nanoseconds on m_clock
    QTimer m_timer;
};
