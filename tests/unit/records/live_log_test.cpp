// The live log read back by Python's csv module under comma and point locales, and
// a disk that fills up while it writes.
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "protocol/protokol_usb.h"
#include "records/live_log.h"
#include "sim/meter_server.h"
#include "support/full_disk.h"
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <gtest/gtest.h>

namespace {

struct LogRig
{
    LogRig()
    {
        started = server.start();
        dm = std::make_unique<TDM_1>(std::make_unique<CandidatePorts>(
            QList<VirtualPort>{{server.devicePath(), QStringLiteral("KESTRO SIM")}}, nullptr));
        dm->findDevicePort();
        QObject::connect(dm.get(), &TDM_1::answerAccepted, dm.get(), [this](const QByteArray &frame) {
            if (auto v = LiveCsv::ReadingsOf(frame))
                sent << *v;
        });
    }
    // Polls the live block for n more answers, one read at a time (the pacer
    // drops a read that is already waiting).
    bool poll(int n)
    {
        for (const qsizetype target = sent.size() + n; sent.size() < target;) {
            const qsizetype before = sent.size();
            SendReadData(*dm, 1, 24);
            if (!QTest::qWaitFor([&] { return sent.size() > before; }, 2000))
                return false;
        }
        return true;
    }
    MeterServer server;
    bool started = false;
    std::unique_ptr<TDM_1> dm;
    QList<std::array<float, LiveCsv::Readings>> sent;
};

// Python's csv reader: the header, then every row's fields with the decimal mark
// turned into a point, one line per row, fields separated by tabs.
QStringList readWithPython(const QString &path, QChar decimal)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        return {QStringLiteral("no python3")};
    const QString script = QStringLiteral(
        "import csv, sys\n"
        "with open(sys.argv[1], newline='', encoding='utf-8-sig') as f:\n"
        "    rows = list(csv.reader(f, delimiter=';'))\n"
        "print('\\t'.join(rows[0]))\n"
        "for r in rows[1:]:\n"
        "    print('\\t'.join([r[0]] + [repr(float(x.replace(sys.argv[2], '.'))) for x in r[1:]]))\n");
    QProcess p;
    p.start(python, {QStringLiteral("-c"), script, path, QString(decimal)});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

TEST(LiveLog, RowsReadBackExactlyUnderCommaAndPointLocales)
{
    for (const char *name : {"ru_RU", "C"}) {
        SCOPED_TRACE(name);
        const QLocale locale{QString::fromLatin1(name)};
        LogRig rig;
        ASSERT_TRUE(rig.started && rig.dm->isPortOpen());
        QTemporaryDir dir;
        TLiveLog log(*rig.dm);
        QString error;
        ASSERT_TRUE(log.start(dir.filePath("live.csv"), &error, locale)) << error.toStdString();
        ASSERT_TRUE(rig.poll(5));
        log.stop();
        EXPECT_EQ(log.rows(), 5);

        const QStringList lines = readWithPython(dir.filePath("live.csv"), locale.decimalPoint().at(0));
        ASSERT_EQ(lines.size(), 6) << lines.join('\n').toStdString();
        EXPECT_EQ(lines[0].split('\t').size(), 10);
        EXPECT_TRUE(lines[0].startsWith("Время\tСтатус\tМассовый расход (кг/ч)")) << lines[0].toStdString();
        for (int r = 0; r < 5; ++r) {
            const QStringList fields = lines[r + 1].split('\t');
            ASSERT_EQ(fields.size(), 10);
            EXPECT_TRUE(QDateTime::fromString(fields[0], QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).isValid())
                << fields[0].toStdString();
            for (int i = 0; i < LiveCsv::Readings; ++i)
                EXPECT_EQ(float(fields[i + 1].toDouble()), rig.sent[r][size_t(i)]) << "row " << r << " field " << i;
        }
    }
}

TEST(LiveLog, AFullDiskStopsTheLogWithWholeRowsKept)
{
    LogRig rig;
    ASSERT_TRUE(rig.started && rig.dm->isPortOpen());
    QTemporaryDir dir;
    TLiveLog log(*rig.dm);
    QSignalSpy failed(&log, &TLiveLog::failed);
    QString error;
    EXPECT_FALSE(log.start(QStringLiteral("/nonexistent/dir/live.csv"), &error));
    EXPECT_TRUE(error.startsWith("Файл /nonexistent/dir/live.csv не создан: ")) << error.toStdString();

    ASSERT_TRUE(log.start(dir.filePath("live.csv"), &error, QLocale::c()));
    ASSERT_TRUE(rig.poll(2));
    // The disk holds only a little more than what is there now.
    const qint64 size = QFileInfo(dir.filePath("live.csv")).size();
    bool stopped = false;
    {
        FullDisk full(rlim_t(size + 200));
        stopped = rig.poll(10) && (failed.count() > 0 || failed.wait(10000));
    }

    ASSERT_TRUE(stopped);
    EXPECT_FALSE(log.isRunning());
    const QString message = failed.first().first().toString();
    EXPECT_TRUE(message.contains(QStringLiteral("Записанные строки (%1) сохранены").arg(log.rows()))) << message.toStdString();
    // The system's own reason, not a short count without one.
    EXPECT_TRUE(message.contains(qt_error_string(EFBIG))) << message.toStdString();
    EXPECT_FALSE(message.contains("Unknown error")) << message.toStdString();
    QFile file(dir.filePath("live.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_TRUE(content.endsWith("\r\n"));
    EXPECT_EQ(content.count("\r\n"), 1 + log.rows());
    EXPECT_GE(log.rows(), 2);
}
