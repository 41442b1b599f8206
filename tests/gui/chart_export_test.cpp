// A chart's export: its points as CSV in the locale's numbers, its picture as PNG or PDF.
#include "support/full_disk.h"
#include "support/locale_guard.h"
#include "ui/calibration/live_chart.h"
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

TEST(ChartExport, PointsAndPictures)
{
    LocaleGuard locale(LocaleGuard::comma());
    TLiveChart chart(QStringLiteral("Chart_Test"));
    chart.resize(600, 300);
    const int t = chart.addSeries(QStringLiteral("Температура (°C)"));
    const int ns = chart.addSeries(QStringLiteral("Δt(нс)"), true);
    const QDateTime start(QDate(2026, 12, 9), QTime(10, 0, 0, 500));
    for (int i = 0; i < 3; ++i) {
        chart.append(t, start.addMSecs(500 * i), 20.25 + i);
        chart.append(ns, start.addMSecs(500 * i), -0.125 * i);
    }
    chart.append(ns, start.addSecs(5), 7.5); // a time only one series has

    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(chart.exportTo(dir.filePath("points.csv"), &error)) << error.toStdString();
    QFile csv(dir.filePath("points.csv"));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    EXPECT_EQ(lines, (QStringList{"\uFEFFВремя;Температура (°C);Δt(нс)", "2026-12-09T10:00:00.500;20,25;0",
                                  "2026-12-09T10:00:01.000;21,25;-0,125", "2026-12-09T10:00:01.500;22,25;-0,25",
                                  "2026-12-09T10:00:05.500;;7,5"}));

    const struct
    {
        const char *file;
        QByteArray magic;
    } pictures[] = {{"chart.png", "\x89PNG"}, {"chart.pdf", "%PDF"}};
    for (const auto &p : pictures) {
        ASSERT_TRUE(chart.exportTo(dir.filePath(QLatin1String(p.file)), &error)) << error.toStdString();
        QFile f(dir.filePath(QLatin1String(p.file)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_TRUE(f.read(4).startsWith(p.magic)) << p.file;
        if (qEnvironmentVariableIsSet("KEEP_CHART"))
            QFile::copy(f.fileName(), qEnvironmentVariable("KEEP_CHART") + QLatin1String(p.file));
    }
    EXPECT_FALSE(chart.exportTo(dir.filePath("chart.bmp"), &error));
    EXPECT_FALSE(chart.exportTo(QStringLiteral("/nonexistent/dir/points.csv"), &error));
    EXPECT_TRUE(error.startsWith("Файл /nonexistent/dir/points.csv не записан")) << error.toStdString();
}

TEST(ChartExport, AFullDiskFailsEveryFormatAndKeepsTheOldFile)
{
    TLiveChart chart(QStringLiteral("Chart_Full"));
    chart.resize(600, 300);
    const int t = chart.addSeries(QStringLiteral("Температура (°C)"));
    const QDateTime start(QDate(2026, 12, 9), QTime(10, 0));
    for (int i = 0; i < 2000; ++i)
        chart.append(t, start.addMSecs(100 * i), 20.0 + std::sin(i / 50.0));
    QTemporaryDir dir;
    for (const char *name : {"points.csv", "chart.png", "chart.pdf"}) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QLatin1String(name));
        QString error;
        ASSERT_TRUE(chart.exportTo(path, &error)) << error.toStdString();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray good = file.readAll();
        file.close();
        bool saved = true;
        {
            FullDisk full(rlim_t(good.size() / 2));
            saved = chart.exportTo(path, &error);
        }
        EXPECT_FALSE(saved);
        EXPECT_EQ(error, QStringLiteral("Файл %1 не записан: %2").arg(path, qt_error_string(EFBIG)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), good);
    }
}
