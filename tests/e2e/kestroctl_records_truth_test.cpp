// kestroctl's records when things go wrong for real: a disk that fills up under an
// export, a snapshot damaged in the store, a store two programs create at once, a
// read-only store. Each case: its message, its exit code, and nothing good lost.
#include "e2e/sim_process.h"
#include "support/full_disk.h"
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const QString Ctl = QStringLiteral(KESTROCTL_PATH);

class KestroctlRecordsTruth : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.startError().toStdString(); }
    ProgramRun ctl(const QStringList &args, const std::function<void()> &childSetup = {}, const QString &program = Ctl)
    {
        return RunProgram(program, QStringList{QStringLiteral("--virtual-port"), sim.devicePath()} + args,
                          {QStringLiteral("LC_ALL=C.UTF-8"), QStringLiteral("KESTRO_SNAPSHOT_DB=") + store()}, 20000,
                          childSetup);
    }
    QString store() const { return dir.filePath("s.sqlite"); }
    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }

    QTemporaryDir dir;
    SimProcess sim;
};

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool Sql(const QString &path, const QString &statement)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
        db.setDatabaseName(path);
        ok = db.open() && QSqlQuery(db).exec(statement);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
    return ok;
}

} // namespace

TEST_F(KestroctlRecordsTruth, AnExportToAFullDiskFailsAndKeepsTheGoodFile)
{
    // A note long enough that the exported file outgrows what the store needs to be read.
    const QString note = QString(30000, QChar(0x0436));
    ProgramRun run = ctl({"backup", "--note", note, "--output", path("good.json")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QByteArray good = bytesOf(path("good.json"));
    ASSERT_GT(good.size(), 60000);

    run = ctl({"export", "1", path("good.json")}, [] { FullDiskInChild(48 * 1024); });
    EXPECT_EQ(run.exitCode, 5) << run.out.toStdString() << run.err.toStdString();
    EXPECT_FALSE(run.out.contains("exported")) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains(qt_error_string(EFBIG) + "; снимок не выгружен")) << run.err.toStdString();
    EXPECT_EQ(bytesOf(path("good.json")), good);
    EXPECT_EQ(QDir(dir.path()).entryList({"good.json*"}, QDir::Files), QStringList{"good.json"}) << "no temporary left";

    run = ctl({"export", "1", path("fresh.json")}, [] { FullDiskInChild(48 * 1024); });
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_FALSE(QFile::exists(path("fresh.json"))) << "no empty file where there was none";
}

TEST_F(KestroctlRecordsTruth, ADamagedSnapshotIsRefusedBeforeTheMeterHearsAnything)
{
    ProgramRun run = ctl({"backup", "--output", path("a.json")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_TRUE(Sql(store(), "UPDATE area SET registers = substr(registers, 1, 106) WHERE area = 'flow-table'"));

    const struct
    {
        QStringList args;
        const char *says;
    } cases[] = {
        {{"restore", "1", "--yes"}, "53 регистров вместо 54"},
        {{"diff", "1"}, "53 регистров вместо 54"},
        {{"history"}, "Снимок №1"},
        {{"export", "1", path("x.json")}, "поврежден"},
    };
    for (const auto &c : cases) {
        run = ctl(c.args);
        SCOPED_TRACE(c.args.join(' ').toStdString());
        EXPECT_EQ(run.exitCode, 5) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.says))) << run.err.toStdString();
        EXPECT_FALSE(run.out.contains("восстановлено"));
    }
    EXPECT_FALSE(QFile::exists(path("x.json")));
    run = ctl({"diff", path("a.json")});
    EXPECT_EQ(run.exitCode, 0) << "the meter is as it was: " << run.out.toStdString();

    // A file with what a meter must never hold is not imported, and not restored.
    QJsonObject o = QJsonDocument::fromJson(bytesOf(path("a.json"))).object();
    QJsonArray areas = o.value("areas").toArray();
    for (qsizetype i = 0; i < areas.size(); ++i) {
        QJsonObject area = areas[i].toObject();
        if (area.value("area").toString() != "density")
            continue;
        QJsonArray regs = area.value("registers").toArray(), values = area.value("values").toArray();
        regs[2] = "0002";
        values[1] = 2;
        area["registers"] = regs;
        area["values"] = values;
        areas[i] = area;
    }
    o["areas"] = areas;
    QFile bad(path("bad.json"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QJsonDocument(o).toJson());
    bad.close();
    for (const char *command : {"import", "restore"}) {
        run = ctl({command, path("bad.json"), "--yes"});
        EXPECT_EQ(run.exitCode, 5) << command << ": " << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("«Фиксированная плотность вкл.»: 2")) << run.err.toStdString();
    }
}

TEST_F(KestroctlRecordsTruth, TwoProgramsCreatingTheStoreAtOnceBothGetIt)
{
    for (int round = 0; round < 12; ++round) {
        const QString fresh = dir.filePath(QStringLiteral("race-%1/s.sqlite").arg(round));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KESTRO_SNAPSHOT_DB"), fresh);
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        QProcess a, b;
        for (QProcess *p : {&a, &b}) {
            p->setProcessEnvironment(env);
            p->start(Ctl, {QStringLiteral("history")});
        }
        for (QProcess *p : {&a, &b}) {
            ASSERT_TRUE(p->waitForFinished(20000));
            EXPECT_EQ(p->exitCode(), 0) << "round " << round << ": " << p->readAllStandardError().toStdString();
        }
    }
}

TEST_F(KestroctlRecordsTruth, AReadOnlyStoreIsSaidToBeReadOnlyNotDamaged)
{
    ASSERT_EQ(ctl({"backup", "--output", path("a.json")}).exitCode, 0);
    const QByteArray before = bytesOf(store());
    // Root ignores file modes: the program then runs as nobody.
    const bool root = geteuid() == 0;
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther
                                          | QFileDevice::ExeOther | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    QFile::setPermissions(store(), QFileDevice::ReadOwner | QFileDevice::ReadOther | QFileDevice::ReadGroup);
    const auto asUser = [root] {
        if (root && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(99);
    };
    // The build tree may sit in a folder only its owner can enter: nobody runs a copy.
    QTemporaryDir bin;
    const QString program = bin.filePath(QStringLiteral("kestroctl"));
    ASSERT_TRUE(QFile::copy(Ctl, program));
    const auto everyone = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                          | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(bin.path(), everyone) && QFile::setPermissions(program, everyone));
    const ProgramRun run = ctl({"import", path("a.json")}, asUser, program);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_NE(run.exitCode, 99) << "could not run as nobody";
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_TRUE(run.err.contains("только для чтения") || run.err.contains("нет доступа")) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("поврежден")) << run.err.toStdString();
    EXPECT_EQ(bytesOf(store()), before);
}
