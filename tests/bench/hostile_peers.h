#pragma once
// Peers that are not a meter, on the far side of a real pseudo-terminal, while the
// main window polls its port: what an engineer's tool meets on a shared USB hub.
#include "bench/bench_support.h"
#include "unit/link/pty_pair.h"
#include <QLineEdit>
#include <QEventLoop>
#include <QTest>
#include <atomic>
#include <random>
#include <thread>
#include "ui/common/labeled_edit.h"

enum class Hostility { RandomBytes, StartBytes, HeaderThenNothing, ByteEvery90ms, Flood };

inline const char *HostilityName(Hostility h)
{
    switch (h) {
    case Hostility::RandomBytes: return "endless random bytes";
    case Hostility::StartBytes: return "endless start bytes";
    case Hostility::HeaderThenNothing: return "a valid header, then nothing";
    case Hostility::ByteEvery90ms: return "one byte every 90 ms";
    case Hostility::Flood: return "a flood at full speed";
    }
    return "";
}

struct HostileFigures
{
    double stallP99Ms = 0;
    double stallMaxMs = 0;
    double cpuPercent = 0;
    int bufferedMax = 0;
    int readingsShown = 0;
    double residentGrowthMiB = 0;
    qint64 bytesSent = 0;
    bool meterReadAfterwards = false;
};

// Writes on the master side of the terminal from a thread of its own, and reads
// away what the program sends so its writes never block.
class HostilePeer
{
public:
    HostilePeer(PtyPair &pty, Hostility kind) : m_pty(pty), m_kind(kind) {}
    ~HostilePeer() { stop(); }
    void start()
    {
        m_pty.setNonBlocking();
        m_thread = std::thread([this] { run(); });
    }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    qint64 sent() const { return m_sent; }

private:
    void send(const QByteArray &bytes)
    {
        if (m_pty.write(bytes))
            m_sent += bytes.size();
    }
    void run()
    {
        std::mt19937 rng(42);
        QByteArray random(512, '\0');
        bool headerSent = false;
        while (!m_stop) {
            (void)m_pty.readAvailable();
            switch (m_kind) {
            case Hostility::RandomBytes:
                for (char &c : random)
                    c = char(rng());
                send(random);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                break;
            case Hostility::StartBytes:
                send(QByteArray(512, '\x1f'));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                break;
            case Hostility::HeaderThenNothing:
                if (!headerSent)
                    send(QByteArray::fromHex("1f0100150036"));
                headerSent = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                break;
            case Hostility::ByteEvery90ms:
                send(QByteArray(1, char(rng())));
                std::this_thread::sleep_for(std::chrono::milliseconds(90));
                break;
            case Hostility::Flood:
                for (char &c : random)
                    c = char(rng());
                // As fast as the terminal takes it; a full terminal is only a short wait.
                if (!m_pty.write(random))
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                else
                    m_sent += random.size();
                break;
            }
        }
    }

    PtyPair &m_pty;
    Hostility m_kind;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_sent{0};
};

// The live answer of a meter whose status word is the given number.
inline QByteArray LiveAnswerWithStatus(quint16 status)
{
    QByteArray a = QByteArray::fromHex("1f0000010018");
    a.append(char(status >> 8)).append(char(status & 0xff));
    a.append(QByteArray(46, '\0'));
    a.append(char(0x55));
    return a;
}

inline HostileFigures RunHostilePeer(Hostility kind, int ms)
{
    HostileFigures f;
    PtyPair pty;
    if (!pty.ok())
        return f;
    TDM_1 dm(std::make_unique<CandidatePorts>(QList<VirtualPort>{{pty.slavePath(), QString()}}, nullptr));
    TForm_Main main(dm);
    main.show();
    main.ToolButton_PortClick();
    int readings = 0;
    const auto show = dm.OnMainTextChange;
    dm.OnMainTextChange = [&](QObject *s, const TQ_main &q) {
        ++readings;
        show(s, q);
    };
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { f.bufferedMax = std::max(f.bufferedMax, dm.decoder().buffered()); });
    sampler.start(5);

    const double rss0 = ResidentMiB();
    const double cpu0 = CpuSeconds();
    HostilePeer peer(pty, kind);
    StallProbe probe;
    peer.start();
    // A plain event loop: QTest::qWait sleeps between its rounds, which would read as stalls.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    probe.stop();
    peer.stop();
    f.cpuPercent = 100.0 * (CpuSeconds() - cpu0) / (ms / 1000.0);
    f.stallP99Ms = Percentile(probe.stalls(), 99);
    f.stallMaxMs = Maximum(probe.stalls());
    f.residentGrowthMiB = ResidentMiB() - rss0;
    f.readingsShown = readings;
    f.bytesSent = peer.sent();

    // The meter comes back: its next answer is read as it is.
    QTest::qWait(2 * StreamDecoder::DefaultStaleMs);
    (void)pty.readAvailable();
    pty.write(LiveAnswerWithStatus(4711));
    f.meterReadAfterwards = QTest::qWaitFor([&] { return main.LE_Status->text() == QStringLiteral("4711"); }, 2000);
    dm.OnMainTextChange = show;
    return f;
}
