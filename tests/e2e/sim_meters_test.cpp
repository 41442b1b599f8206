#include "e2e/sim_process.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {
// One request for the live block on the meter at path; the bytes of its answer.
QByteArray askLiveBlock(const QString &path)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return {};
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    const QByteArray request = QByteArray::fromHex("1f0000010018" "55");
    QByteArray answer;
    if (::write(fd, request.constData(), size_t(request.size())) == request.size()) {
        QElapsedTimer t;
        t.start();
        while (answer.size() < 7 + 2 * 24 && t.elapsed() < 3000) {
            pollfd p{fd, POLLIN, 0};
            char buf[256];
            if (::poll(&p, 1, 50) > 0) {
                const ssize_t n = ::read(fd, buf, sizeof buf);
                if (n <= 0)
                    break;
                answer.append(buf, int(n));
            }
        }
    }
    ::close(fd);
    return answer;
}

bool goneWithin(const QString &path, int ms)
{
    QElapsedTimer t;
    t.start();
    while (QFileInfo::exists(path) && t.elapsed() < ms)
        QThread::msleep(20);
    return !QFileInfo::exists(path);
}
} // namespace

TEST(MeterSimMeters, PrintsEachMetersPathThenTheRigAndUnplugsOneForGood)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("meter"));
    // Ten simulated seconds a second: meter 2 goes half a second in.
    SimProcess sim({QStringLiteral("--meters"), QStringLiteral("3"), QStringLiteral("--rig-modbus"), QStringLiteral("0"),
                    QStringLiteral("--link"), link, QStringLiteral("--time-scale"), QStringLiteral("10"),
                    QStringLiteral("--unplug-meter"), QStringLiteral("2@5")});
    ASSERT_TRUE(sim.ok()) << sim.startError().toStdString();
    EXPECT_GT(sim.rigPort(), 0); // the rig's line after the three paths
    const QStringList expected{link + QStringLiteral("-1"), link + QStringLiteral("-2"), link + QStringLiteral("-3")};
    ASSERT_EQ(sim.devicePaths(), expected);

    EXPECT_TRUE(goneWithin(expected[1], 5000));
    for (const QString &path : {expected[0], expected[2]}) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_TRUE(QFileInfo(path).isSymLink());
        const QByteArray answer = askLiveBlock(path);
        ASSERT_EQ(answer.size(), 7 + 2 * 24);
        EXPECT_EQ(answer.left(6), QByteArray::fromHex("1f0000010018"));
    }
}

TEST(MeterSimMeters, RefusesBadMeterOptions)
{
    struct Case
    {
        QStringList args;
        QString named;
    };
    const Case cases[] = {
        {{QStringLiteral("--meters"), QStringLiteral("0")}, QStringLiteral("--meters")},
        {{QStringLiteral("--meters"), QStringLiteral("9")}, QStringLiteral("--meters")},
        {{QStringLiteral("--meters"), QStringLiteral("2"), QStringLiteral("--unplug-meter"), QStringLiteral("3@1")},
         QStringLiteral("--unplug-meter")},
        {{QStringLiteral("--unplug-meter"), QStringLiteral("0@1")}, QStringLiteral("--unplug-meter")},
        {{QStringLiteral("--unplug-meter"), QStringLiteral("1")}, QStringLiteral("--unplug-meter")},
        {{QStringLiteral("--unplug-meter"), QStringLiteral("1@-2")}, QStringLiteral("--unplug-meter")},
    };
    for (const Case &c : cases) {
        const ProgramRun run = RunProgram(QStringLiteral(KESTRO_SIM_PATH), c.args);
        EXPECT_EQ(run.exitCode, 2) << c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(c.named)) << run.err.toStdString();
    }
}
