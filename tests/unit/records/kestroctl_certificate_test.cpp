// kestroctl hands out what the store keeps: a run's DCC that the schema takes, a meter's
// latest certificate byte for byte, and the exit codes of none and of a plant not there.
#include "records/certificate_issue.h"
#include "records/record_store.h"
#include "records/run_dcc.h"
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString schemaErrors(const QString &file)
{
    QProcess p;
    p.start(QStringLiteral("xmllint"), {"--noout", "--schema", KESTRO_DCC_SCHEMA, file});
    if (!p.waitForFinished(60000))
        return QStringLiteral("xmllint did not finish");
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return {};
    return QString::fromUtf8(p.readAllStandardError());
}

enum class Expect { NoFile, ValidDcc, StoredDcc, StoredPdf };

struct CtlCase
{
    const char *name;
    QStringList args; // {run} the stored run's uuid, {file} the output file
    int exitCode;
    Expect expect;
};

class KestroctlCertificate : public testing::TestWithParam<CtlCase>
{
};

TEST_P(KestroctlCertificate, GivesWhatTheStoreKeeps)
{
    QTemporaryDir dir;
    const QString db = dir.filePath("s.sqlite");
    TRecordStore store(db);
    ASSERT_TRUE(store.open()) << store.lastError().toStdString();
    RunRecord r;
    r.meterSerial = QStringLiteral("KM-7");
    r.operatorName = QStringLiteral("Иванова");
    r.rigKind = QStringLiteral("sim");
    r.qMax = 1000.0f;
    ASSERT_TRUE(store.beginRun(r)) << store.lastError().toStdString();
    RunPoint p;
    p.phase = RunPhase::AsLeft;
    p.index = 1;
    p.referenceFlow = 0.1 + 0.2;
    p.meterFlow = 0.3;
    p.relativeError = 1.0 / 3;
    p.fits = true;
    r.points << p;
    ASSERT_TRUE(store.addRunPoint(r.id, p));
    r.end = RunEnd::Completed;
    r.endedUtc = QDateTime::currentDateTimeUtc();
    ASSERT_TRUE(store.updateRun(r));
    QString error;
    const std::optional<IssuedCertificate> issued = IssueRunCertificate(store, r, QByteArray("%PDF-\0\xff", 7), &error);
    ASSERT_TRUE(issued) << error.toStdString();
    store.close();

    const QString file = dir.filePath("out/cert.bin");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("out")));
    QStringList args;
    for (QString a : GetParam().args)
        args << a.replace("{run}", r.uuid).replace("{file}", file);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KESTRO_SNAPSHOT_DB", db);
    env.insert("XDG_CONFIG_HOME", dir.filePath("config")); // no plant unless the case names one
    env.remove("KESTRO_RECORDS_URL");
    QProcess ctl;
    ctl.setProcessEnvironment(env);
    ctl.start(QStringLiteral(KESTROCTL_PATH), args);
    ASSERT_TRUE(ctl.waitForFinished(60000));
    const QString stderrText = QString::fromUtf8(ctl.readAllStandardError());
    EXPECT_EQ(ctl.exitCode(), GetParam().exitCode) << stderrText.toStdString();

    QFile out(file);
    if (GetParam().expect == Expect::NoFile) {
        EXPECT_FALSE(out.exists());
        EXPECT_FALSE(stderrText.isEmpty());
        return;
    }
    ASSERT_TRUE(out.open(QIODevice::ReadOnly)) << stderrText.toStdString();
    const QByteArray bytes = out.readAll();
    switch (GetParam().expect) {
    case Expect::ValidDcc:
        EXPECT_EQ(schemaErrors(file), QString());
        EXPECT_EQ(bytes, RunDcc::Write(r));
        break;
    case Expect::StoredDcc:
        EXPECT_EQ(bytes, issued->dcc);
        break;
    case Expect::StoredPdf:
        EXPECT_EQ(bytes, issued->pdf);
        break;
    case Expect::NoFile:
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ctl, KestroctlCertificate,
    testing::Values(CtlCase{"RunDcc", {"run", "{run}", "--dcc", "{file}"}, 0, Expect::ValidDcc},
                    CtlCase{"UnknownRunDcc", {"run", "999", "--dcc", "{file}"}, 5, Expect::NoFile},
                    CtlCase{"KnownSerialDcc", {"certificate", "--serial", "KM-7", "--dcc", "{file}"}, 0, Expect::StoredDcc},
                    CtlCase{"KnownSerialPdf", {"certificate", "--serial", "KM-7", "--pdf", "{file}"}, 0, Expect::StoredPdf},
                    CtlCase{"UnknownSerial", {"certificate", "--serial", "KM-404", "--dcc", "{file}"}, 5, Expect::NoFile},
                    CtlCase{"UnknownSerialPlantAway",
                            {"certificate", "--serial", "KM-404", "--records", "postgresql://kestro@127.0.0.1:1/none",
                             "--dcc", "{file}"},
                            10,
                            Expect::NoFile}),
    [](const testing::TestParamInfo<CtlCase> &i) { return std::string(i.param.name); });

} // namespace
