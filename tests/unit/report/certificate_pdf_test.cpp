// The certificate as a PDF: bytes that are a PDF, as many pages as it was laid out on,
// each page with the number and "стр. N из M", the end mark on the last one only.
#include "report/run_certificate.h"
#include "support/locale_guard.h"
#include "unit/report/certificate_record.h"
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using CertificateLayout::TextOf;

namespace {

QString poppler(const QString &tool, const QStringList &args)
{
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdfPages(const QString &path)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(poppler(QStringLiteral("pdfinfo"), {path}));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// A run with many points in each phase: a certificate of several pages.
RunRecord longRun()
{
    RunRecord r = CertificateRecord::completed();
    r.points.clear();
    for (int i = 1; i <= 40; ++i) {
        r.points << CertificateRecord::point(RunPhase::AsFound, i, 2.5 * i, 3.0 + i / 100.0, 0.06);
        r.points << CertificateRecord::point(RunPhase::AsLeft, i, 2.5 * i, 0.01 * (i % 5), 0.06);
    }
    return r;
}

} // namespace

TEST(RunCertificatePdf, EveryPageCarriesTheNumberAndHowManyPagesThereAre)
{
    for (const QString &tool : {QStringLiteral("pdfinfo"), QStringLiteral("pdftotext")}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            FAIL() << tool.toStdString() << " is missing: scripts/install-deps.sh installs poppler-utils";
    }
    LocaleGuard comma(LocaleGuard::comma());
    QTemporaryDir dir;
    const struct
    {
        const char *name;
        RunRecord run;
        bool severalPages;
    } cases[] = {
        {"long", longRun(), true},
        {"older", CertificateRecord::older(), false},
        {"usual", CertificateRecord::completed(), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QDate issued(2026, 12, 11);
        const RunCertificate::Layout layout = RunCertificate::Lay(c.run, issued);
        const int pages = int(layout.pages.size());
        if (c.severalPages) {
            EXPECT_GT(pages, RunCertificate::Lay(CertificateRecord::completed(), issued).pages.size());
        }
        for (const QList<int> &page : layout.pages) {
            EXPECT_FALSE(layout.items[page.last()].keepWithNext) << TextOf(layout.items[page.last()]).toStdString();
            EXPECT_NE(layout.items[page.first()].kind, CertificateLayout::Kind::TableRow) << "a row without its head";
        }
        QString error;
        const QByteArray pdf = RunCertificate::Pdf(c.run, &error, issued);
        ASSERT_TRUE(pdf.startsWith("%PDF-")) << error.toStdString();
        const QString path = dir.filePath(QString::fromUtf8(c.name) + QStringLiteral(".pdf"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(pdf);
        file.close();
        if (qEnvironmentVariableIsSet("KEEP_PDF_DIR"))
            QFile::copy(path, qEnvironmentVariable("KEEP_PDF_DIR") + QLatin1Char('/') + QString::fromUtf8(c.name) + ".pdf");
        ASSERT_EQ(pdfPages(path), pages);
        const QString number = CertificateLayout::Number(c.run);
        for (int n = 1; n <= pages; ++n) {
            const QString text = poppler(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(n), QStringLiteral("-l"),
                                                                       QString::number(n), path, QStringLiteral("-")})
                                     .simplified();
            EXPECT_TRUE(text.contains(CertificateLayout::PageMark(number, n, pages))) << n << "\n" << text.toStdString();
            EXPECT_EQ(text.contains(QStringLiteral("Конец сертификата")), n == pages) << n;
            // The signature is on the page of the conclusion it signs.
            EXPECT_EQ(text.contains(QStringLiteral("Заключение")), n == pages) << n;
        }
    }
}

TEST(RunCertificatePdf, WritesTheSameCertificateToAFile)
{
    LocaleGuard comma(LocaleGuard::comma());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("сертификат.pdf"));
    QString error;
    ASSERT_TRUE(RunCertificate::Write(CertificateRecord::completed(), path, &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_TRUE(written.startsWith("%PDF-") && written.trimmed().endsWith("%%EOF"));
    EXPECT_EQ(pdfPages(path), int(RunCertificate::Lay(CertificateRecord::completed()).pages.size()));

    EXPECT_FALSE(RunCertificate::Write(CertificateRecord::completed(), dir.filePath(QStringLiteral("нет/такой/папки.pdf")), &error));
    EXPECT_FALSE(error.isEmpty());
}
