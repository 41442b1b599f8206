// A store that is damaged, foreign, locked or being created by two programs at once:
// every read says what is wrong and where, nothing foreign is changed, and no damaged
// snapshot or file gets as far as a restore.
#include "records/snapshot_file.h"
#include "records/record_store.h"
#include "unit/records/snapshot_samples.h"
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <vector>

namespace {

// Runs statements on a database through a connection of its own.
bool Sql(const QString &path, const QStringList &statements)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
        db.setDatabaseName(path);
        ok = db.open();
        for (const QString &statement : statements)
            ok = ok && QSqlQuery(db).exec(statement);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
    return ok;
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(StoreDamage, ADamagedSnapshotIsAnErrorNamingItNeverEmptyAreas)
{
    const struct
    {
        const char *name;
        const char *damage;
        const char *says;
    } cases[] = {
        {"short blob", "UPDATE area SET registers = x'0001' WHERE area = 'density'", "1 регистров вместо 3"},
        {"odd blob", "UPDATE area SET registers = zeroblob(109) WHERE area = 'flow-table'", "55 регистров вместо 54"},
        {"long blob", "UPDATE area SET registers = zeroblob(18) WHERE area = 'thermometer'", "(thermometer): 9 регистров"},
        {"refused blob", "UPDATE refused SET registers = x'00'", "отвергнутые прибором значения области"},
        {"unknown area", "UPDATE area SET area = 'densty' WHERE area = 'density'", "неизвестная область «densty»"},
        {"unknown reason", "UPDATE snapshot SET reason = 'because'", "неизвестная причина «because»"},
        {"area table replaced", "DROP TABLE area; CREATE TABLE area(x)", "не той схемы"},
        {"refused table gone", "DROP TABLE refused", "не той схемы"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("s.sqlite");
        {
            TRecordStore store(path);
            const qint64 id = store.add(sample());
            ASSERT_GT(id, 0) << store.lastError().toStdString();
            ASSERT_TRUE(store.addRefused(id, CalibrationArea::Thermometer, sample().refused.value(CalibrationArea::Thermometer)));
        }
        ASSERT_TRUE(Sql(path, QString::fromLatin1(c.damage).split(QStringLiteral("; "))));
        TRecordStore store(path);
        EXPECT_TRUE(store.list().isEmpty());
        EXPECT_TRUE(store.lastError().contains(QString::fromUtf8(c.says))) << store.lastError().toStdString();
        EXPECT_FALSE(store.get(1));
        EXPECT_FALSE(store.lastError().isEmpty()) << "damage is not \"no such snapshot\"";
    }

    // A snapshot that would not read back whole is not stored.
    QTemporaryDir dir;
    TRecordStore store(dir.filePath("s.sqlite"));
    Snapshot bad = sample();
    bad.areas[CalibrationArea::Zero] = QVector<quint16>(7, 0);
    EXPECT_EQ(store.add(bad), 0);
    EXPECT_TRUE(store.lastError().contains("7 регистров вместо 8")) << store.lastError().toStdString();
    EXPECT_TRUE(store.list().isEmpty());
    EXPECT_TRUE(store.lastError().isEmpty());
}

TEST(StoreDamage, AFileThatIsNotOurStoreIsLeftAsItWas)
{
    const struct
    {
        const char *name;
        QStringList make;
        const char *says;
    } cases[] = {
        {"another program's database", {"CREATE TABLE contacts(name TEXT)", "INSERT INTO contacts VALUES('Иванов')"}, "не база снимков"},
        {"our version, other tables",
         {"CREATE TABLE snapshot(id INTEGER PRIMARY KEY)", "CREATE TABLE area(x)", "PRAGMA user_version=1"},
         "не той схемы"},
        {"version 2 without its table",
         {"CREATE TABLE snapshot(id INTEGER PRIMARY KEY AUTOINCREMENT, taken_utc TEXT, port TEXT, reason TEXT, note TEXT,"
          " program_version TEXT)",
          "CREATE TABLE area(snapshot_id INTEGER, area TEXT, registers BLOB)", "PRAGMA user_version=2"},
         "не той схемы"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath("foreign.sqlite");
        ASSERT_TRUE(Sql(path, c.make));
        const QByteArray before = bytesOf(path);
        {
            TRecordStore store(path);
            EXPECT_FALSE(store.open());
            EXPECT_TRUE(store.lastError().contains(QString::fromUtf8(c.says))) << store.lastError().toStdString();
            EXPECT_EQ(store.add(MeterSample()), 0);
            EXPECT_TRUE(store.list().isEmpty());
        }
        EXPECT_EQ(bytesOf(path), before) << "not switched to WAL, nothing added";
        EXPECT_FALSE(QFile::exists(path + "-wal"));
    }
}

TEST(StoreDamage, ALockedStoreIsBusyNotDamaged)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("s.sqlite");
    {
        TRecordStore store(path);
        ASSERT_GT(store.add(MeterSample()), 0);
    }
    QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
    other.setDatabaseName(path);
    ASSERT_TRUE(other.open());
    ASSERT_TRUE(QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE")));
    {
        TRecordStore store(path);
        EXPECT_EQ(store.list().size(), 1) << "reading goes on beside a writer";
        EXPECT_EQ(store.add(MeterSample()), 0);
        EXPECT_TRUE(store.lastError().contains("занята другой программой")) << store.lastError().toStdString();
        EXPECT_FALSE(store.lastError().contains("поврежден")) << store.lastError().toStdString();
    }
    QSqlQuery(other).exec(QStringLiteral("ROLLBACK"));
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

TEST(StoreDamage, ProgramsCreatingOneStoreAtOnceAllGetIt)
{
    // Real programs, each its own process, import into a store none of them has seen.
    constexpr int Rounds = 10, Programs = 4;
    QTemporaryDir files;
    const QString sample = files.filePath("sample.json");
    {
        QFile f(sample);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(SnapshotFile::Export(MeterSample()));
    }
    for (int round = 0; round < Rounds; ++round) {
        QTemporaryDir dir;
        const QString path = dir.filePath("new/s.sqlite");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KESTRO_SNAPSHOT_DB", path);
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        std::vector<std::unique_ptr<QProcess>> programs;
        for (int p = 0; p < Programs; ++p) {
            auto ctl = std::make_unique<QProcess>();
            ctl->setProcessEnvironment(env);
            ctl->start(QStringLiteral(KESTROCTL_PATH), {QStringLiteral("import"), sample});
            programs.push_back(std::move(ctl));
        }
        QStringList errors;
        int added = 0;
        for (auto &ctl : programs) {
            ASSERT_TRUE(ctl->waitForFinished(60000)) << "round " << round << ": kestroctl import did not end";
            if (ctl->exitStatus() == QProcess::NormalExit && ctl->exitCode() == 0)
                ++added;
            else
                errors << QString::fromUtf8(ctl->readAllStandardError());
        }
        ASSERT_EQ(added, Programs) << "round " << round << ": " << errors.join('\n').toStdString();
        TRecordStore store(path);
        EXPECT_EQ(store.list().size(), Programs) << "round " << round;
    }
}

namespace {

// The exported sample with one value of one area changed, registers and number alike.
QByteArray withValue(const char *area, int n, double value)
{
    QJsonObject o = QJsonDocument::fromJson(SnapshotFile::Export(MeterSample())).object();
    QJsonArray areas = o.value("areas").toArray();
    for (qsizetype i = 0; i < areas.size(); ++i) {
        QJsonObject a = areas[i].toObject();
        if (a.value("area").toString() != QLatin1String(area))
            continue;
        QJsonArray regs = a.value("registers").toArray(), values = a.value("values").toArray();
        const bool word = QLatin1String(area) == QLatin1String("density") && n == 1;
        if (word) {
            regs[2] = QString::asprintf("%04x", unsigned(value));
        } else {
            const quint32 bits = std::bit_cast<quint32>(float(value));
            regs[2 * n] = QString::asprintf("%04x", bits & 0xFFFF);
            regs[2 * n + 1] = QString::asprintf("%04x", bits >> 16);
        }
        values[n] = std::isfinite(value) ? QJsonValue(double(float(value))) : QJsonValue(QJsonValue::Null);
        a["registers"] = regs;
        a["values"] = values;
        areas[i] = a;
    }
    o["areas"] = areas;
    return QJsonDocument(o).toJson();
}

QByteArray withField(const char *name, const QJsonValue &value)
{
    QJsonObject o = QJsonDocument::fromJson(SnapshotFile::Export(MeterSample())).object();
    o[QLatin1String(name)] = value;
    return QJsonDocument(o).toJson();
}

} // namespace

TEST(StoreDamage, AnImportRefusesWhatAMeterMustNeverReceiveNamingTheField)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct
    {
        const char *name;
        QByteArray file;
        const char *says;
    } cases[] = {
        {"NaN density", withValue("density", 0, nan), "«Плотность»: NaN — не число"},
        {"infinite temperature", withValue("thermometer", 2, -inf), "«Температура 2»: −∞ — не число"},
        {"density flag 2", withValue("density", 1, 2), "«Фиксированная плотность вкл.»: 2, а может быть только 0 или 1"},
        {"negative density", withValue("density", 0, -1), "«Плотность»: -1 вне допустимого (от 0 до 25000)"},
        {"boiling thermometer", withValue("thermometer", 0, 900), "«Температура 1»: 900 вне допустимого (от -200 до 500)"},
        {"negative ADC code", withValue("thermometer", 3, -5), "«Код АЦП 2»: -5 вне допустимого"},
        {"zero Δt off the scale", withValue("zero", 3, 5e6), "(zero), «Δt 2»: 5000000 вне допустимого"},
        {"negative Q Max", withValue("flow-table", 0, -1000), "«Q Max»: -1000 вне допустимого"},
        {"reference flow off the scale", withValue("flow-table", 3, 2e7), "«Эталон 3»: 20000000 вне допустимого"},
        {"NaN flow Δt", withValue("flow-table", 26, nan), "«Прибор 13»: NaN — не число"},
        {"NaN coefficient", withValue("coefficients", 4, nan), "«Расход A»: NaN — не число"},
        {"no areas", withField("areas", QJsonArray()), "в поле areas нет ни одной области"},
        {"version as text", withField("format_version", QStringLiteral("1")), "format_version должно быть числом (1), а в файле строка «1»"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        EXPECT_FALSE(SnapshotFile::Import(c.file, &error));
        EXPECT_TRUE(error.startsWith("Файл снимка не принят: ")) << error.toStdString();
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.says))) << error.toStdString();
    }
    // The limits themselves are still a meter's values.
    QString error;
    EXPECT_TRUE(SnapshotFile::Import(withValue("thermometer", 0, -200), &error)) << error.toStdString();
    EXPECT_TRUE(SnapshotFile::Import(withValue("density", 1, 0), &error)) << error.toStdString();
    EXPECT_TRUE(SnapshotFile::Import(withValue("flow-table", 0, 0), &error)) << error.toStdString();
}
