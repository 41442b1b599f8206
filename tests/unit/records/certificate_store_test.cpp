// Issued certificates in the store: kept once each, the newest found by meter and by
// run, a run that did not complete refused, and the bytes back as they went in.
#include "records/certificate_issue.h"
#include "records/record_store.h"
#include "records/run_dcc.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cmath>

namespace {

const QDateTime T0(QDate(2026, 12, 10), QTime(8, 30, 0, 125), Qt::UTC);

// A run written as a workstation writes it, ended as asked; its uuid is set.
RunRecord storedRun(TRecordStore &store, const QString &serial, RunEnd end)
{
    RunRecord r;
    r.meterSerial = serial;
    r.operatorName = QStringLiteral("Иванова А. П.");
    r.rigKind = QStringLiteral("sim");
    r.startedUtc = T0;
    r.qMax = 1000.0f;
    EXPECT_TRUE(store.beginRun(r)) << store.lastError().toStdString();
    for (int i = 1; i <= 2; ++i) {
        RunPoint p;
        p.phase = i == 1 ? RunPhase::AsFound : RunPhase::AsLeft;
        p.index = 1;
        p.referenceFlow = 0.1 + 0.2 + i;
        p.meterFlow = std::nextafter(100.0 * i, 1e9);
        p.relativeError = 1.0 / 3;
        p.fits = true;
        r.points << p;
        EXPECT_TRUE(store.addRunPoint(r.id, p)) << store.lastError().toStdString();
    }
    r.end = end;
    r.endedUtc = T0.addSecs(600);
    if (end != RunEnd::Completed)
        r.endReason = QStringLiteral("оператор прервал");
    EXPECT_TRUE(store.updateRun(r)) << store.lastError().toStdString();
    return r;
}

// Every byte value, a NUL among them, and an empty file: what a PDF may hold.
QByteArray everyByte()
{
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b + QByteArray(3, '\0');
}

struct IssueCase
{
    const char *name;
    int issues;          // of the same run
    QByteArray pdf;
};

class CertificateIssue : public testing::TestWithParam<IssueCase>
{
protected:
    QTemporaryDir dir;
};

TEST_P(CertificateIssue, KeepsEachIssueWithTheNextRevisionAndTheBytesAsGiven)
{
    TRecordStore store(dir.filePath("s.sqlite"));
    ASSERT_TRUE(store.open()) << store.lastError().toStdString();
    const RunRecord run = storedRun(store, QStringLiteral("KM-7"), RunEnd::Completed);
    // Another meter's run issued in between must not be taken for this one's.
    const RunRecord other = storedRun(store, QStringLiteral("KM-8"), RunEnd::Completed);
    QStringList uuids;
    for (int i = 1; i <= GetParam().issues; ++i) {
        QString error;
        const std::optional<IssuedCertificate> c = IssueRunCertificate(store, run, GetParam().pdf, &error);
        ASSERT_TRUE(c) << error.toStdString();
        EXPECT_EQ(c->revision, i);
        EXPECT_FALSE(uuids.contains(c->uuid));
        uuids << c->uuid;
        ASSERT_TRUE(IssueRunCertificate(store, other, QByteArray("other"), &error)) << error.toStdString();
    }

    const std::optional<IssuedCertificate> latest = store.latestCertificate(QStringLiteral("KM-7"));
    ASSERT_TRUE(latest) << store.lastError().toStdString();
    EXPECT_EQ(latest->uuid, uuids.last());
    EXPECT_EQ(latest->revision, GetParam().issues);
    EXPECT_EQ(latest->runUuid, run.uuid);
    EXPECT_EQ(latest->number, CertificateNumber(run));
    EXPECT_FALSE(latest->workstation.isEmpty());
    EXPECT_TRUE(latest->issuedUtc.isValid());
    EXPECT_EQ(latest->pdf, GetParam().pdf);
    EXPECT_EQ(latest->dcc, RunDcc::Write(run));

    const std::optional<IssuedCertificate> ofRun = store.certificateOfRun(run.uuid);
    ASSERT_TRUE(ofRun);
    EXPECT_EQ(ofRun->uuid, latest->uuid);
    const std::optional<IssuedCertificate> ofOther = store.latestCertificate(QStringLiteral("KM-8"));
    ASSERT_TRUE(ofOther);
    EXPECT_EQ(ofOther->runUuid, other.uuid);
    EXPECT_EQ(ofOther->pdf, QByteArray("other"));

    // Read again by a second connection: what the file holds, not what this one remembers.
    TRecordStore again(dir.filePath("s.sqlite"));
    const std::optional<IssuedCertificate> reread = again.latestCertificate(QStringLiteral("KM-7"));
    ASSERT_TRUE(reread) << again.lastError().toStdString();
    EXPECT_EQ(reread->pdf, GetParam().pdf);
    EXPECT_EQ(reread->dcc, latest->dcc);
    EXPECT_EQ(reread->issuedUtc, latest->issuedUtc);
}

INSTANTIATE_TEST_SUITE_P(Store, CertificateIssue,
                         testing::Values(IssueCase{"OnceWithoutPdf", 1, QByteArray()},
                                         IssueCase{"OnceEveryByte", 1, everyByte()},
                                         IssueCase{"ThreeTimes", 3, QByteArray("%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")}),
                         [](const testing::TestParamInfo<IssueCase> &i) { return std::string(i.param.name); });

struct RefusalCase
{
    const char *name;
    RunEnd end;
};

class CertificateRefusal : public testing::TestWithParam<RefusalCase>
{
protected:
    QTemporaryDir dir;
};

TEST_P(CertificateRefusal, ARunThatDidNotCompleteGetsNoneAndSaysWhy)
{
    TRecordStore store(dir.filePath("s.sqlite"));
    ASSERT_TRUE(store.open()) << store.lastError().toStdString();
    const RunRecord run = storedRun(store, QStringLiteral("KM-9"), GetParam().end);
    QString error;
    EXPECT_FALSE(IssueRunCertificate(store, run, QByteArray("pdf"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(store.latestCertificate(QStringLiteral("KM-9")));
    EXPECT_EQ(store.lastError(), QString());
    EXPECT_FALSE(store.certificateOfRun(run.uuid));
}

INSTANTIATE_TEST_SUITE_P(Store, CertificateRefusal,
                         testing::Values(RefusalCase{"Aborted", RunEnd::Aborted}, RefusalCase{"Failed", RunEnd::Failed},
                                         RefusalCase{"Running", RunEnd::Running}),
                         [](const testing::TestParamInfo<RefusalCase> &i) { return std::string(i.param.name); });

} // namespace
