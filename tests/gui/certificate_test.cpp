// The verification certificate read back with pdftotext: the grid's rows as the
// grid shows them, a verdict per row and overall, and the Cyrillic intact.
#include "gui/kalibr_window_fixture.h"
#include "support/full_disk.h"
#include "records/certificate_parties.h"
#include "support/locale_guard.h"
#include "ui/records/verification_certificate.h"
#include "ui/records/dialog_certificate.h"
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cerrno>

namespace {

QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST_F(KalibrWindow, CertificateCarriesTheGridItsVerdictsAndCyrillic)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        FAIL() << "pdftotext is missing: scripts/install-deps.sh installs poppler-utils";
    LocaleGuard locale(LocaleGuard::comma());
    // Relative error 0.1 % (fit), 0.4 % (unfit), and zero flow judged by its reduced error.
    const struct
    {
        int row;
        const char *etalon, *pribor;
        const char *verdict;
    } rows[] = {{1, "1000", "1001", "годен"}, {2, "500", "502", "не годен"}, {3, "0", "0,1", "годен"}};
    for (const auto &r : rows) {
        poverka()->setCell(Verification::Etalon, r.row, QString::fromUtf8(r.etalon));
        poverka()->setCell(Verification::Pribor, r.row, QString::fromUtf8(r.pribor));
    }
    poverka()->setCell(Verification::Comment, 1, QStringLiteral("первая точка"));
    poverka()->Edit_Poverka_Q_Max->setText(QStringLiteral("1000"));
    poverka()->BT_RecalcClick();
    EXPECT_EQ(poverka()->Label_Verdict->text(), "Итог: не годен — 2 из 3 точек в пределах ±0,2 %");

    SaveCertificateParties({QStringLiteral("Лаборатория №2"), QStringLiteral("Казань"), QString(), QString(),
                            QStringLiteral("Петрова А. В."), QStringLiteral("Начальник лаборатории")});
    TDialog_Certificate answers(*poverka(), form);
    answers.Edit_Operator->setText(QStringLiteral("Иванов И. И."));
    answers.Edit_Serial->setText(QStringLiteral("КС-0042"));
    answers.Edit_Customer->setText(QStringLiteral("ООО «Заказчик»"));
    answers.Edit_Tolerance->setText(QStringLiteral("0.2"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("протокол.pdf"));
    QString error;
    QElapsedTimer render;
    render.start();
    ASSERT_TRUE(form->saveCertificate(answers, path, &error)) << error.toStdString();
    std::cout << "certificate rendered in " << render.elapsed() << " ms\n";

    const QString text = pdfText(path);
    if (qEnvironmentVariableIsSet("KEEP_PDF"))
        QFile::copy(path, qEnvironmentVariable("KEEP_PDF"));
    for (const char *expected : {"Протокол поверки массового расходомера", "Программа: KestroLink " KESTRO_VERSION, "Заводской номер: КС-0042",
                                 "Заказчик: ООО «Заказчик»", "Допускаемая погрешность: ±0,2 %", "Заключение: не годен",
                                 "Поверитель: ____________________ / Иванов И. И. /", "первая точка",
                                 "Протокол поверки № KL-V-", "стр. 1 из 1", "Лаборатория: Лаборатория №2, Казань",
                                 "Результаты относятся только к калибруемому средству измерений",
                                 "Начальник лаборатории: ____________________ / Петрова А. В. /", "— Конец протокола —"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n" << text.toStdString();
    EXPECT_EQ(text.count(QLatin1Char('\f')), 1) << "one page, as its head says";
    SaveCertificateParties({});
    // Each judged row carries the grid's own texts and its verdict.
    for (const auto &r : rows) {
        QString line;
        for (const QString &l : text.split(QLatin1Char('\n'))) {
            if (l.trimmed().startsWith(QStringLiteral("%1 ").arg(r.row)))
                line = l;
        }
        SCOPED_TRACE(line.toStdString());
        for (int c : {Verification::Etalon, Verification::Pribor, Verification::Relative})
            EXPECT_TRUE(line.contains(poverka()->cell(c, r.row)) || poverka()->cell(c, r.row).isEmpty());
        EXPECT_TRUE(line.trimmed().endsWith(QString::fromUtf8(r.verdict)));
    }

    EXPECT_FALSE(form->saveCertificate(answers, QStringLiteral("/nonexistent/dir/x.pdf"), &error));
    EXPECT_TRUE(error.startsWith("Файл /nonexistent/dir/x.pdf не создан")) << error.toStdString();
}

// Mended: the tolerance box dropped a typed point, so "0.1" certified against ±1 %.
TEST_F(KalibrWindow, CertificateToleranceTakesThePointOrTheCommaAndShowsTheVerdictBack)
{
    const struct
    {
        QLocale locale;
        const char *typed;
        const char *shown; // the verdict line under the box, before anything is written
    } cases[] = {
        {LocaleGuard::comma(), "0.1", "Итог: не годен — 1 из 2 точек в пределах ±0,1 %"},
        {LocaleGuard::comma(), "0,1", "Итог: не годен — 1 из 2 точек в пределах ±0,1 %"},
        {LocaleGuard::point(), "0.1", "Итог: не годен — 1 из 2 точек в пределах ±0.1 %"},
        {LocaleGuard::point(), "0,1", "Итог: не годен — 1 из 2 точек в пределах ±0.1 %"},
        {LocaleGuard::comma(), " 1 ", "Итог: годен — 2 из 2 точек в пределах ±1 %"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.typed) + " " + c.locale.name().toStdString());
        LocaleGuard locale(c.locale);
        // 0.1 % exactly on the limit, 0.5 % over it.
        poverka()->setCell(Verification::Etalon, 1, "1000");
        poverka()->setCell(Verification::Pribor, 1, "1001");
        poverka()->setCell(Verification::Etalon, 2, "1000");
        poverka()->setCell(Verification::Pribor, 2, "1005");
        poverka()->Edit_Poverka_Q_Max->setText("1000");
        poverka()->BT_RecalcClick();
        TDialog_Certificate answers(*poverka(), form);
        answers.Edit_Serial->setText("КС-1");
        answers.Edit_Tolerance->setText(QString::fromUtf8(c.typed));
        EXPECT_EQ(answers.Label_Tolerance->text(), QString::fromUtf8(c.shown));
        answers.accept();
        EXPECT_EQ(answers.result(), QDialog::Accepted);
        EXPECT_TRUE(rig.boxes.requests.isEmpty());
    }
    LocaleGuard locale(LocaleGuard::comma());
    TDialog_Certificate answers(*poverka(), form);
    answers.Edit_Tolerance->setText("0.1");
    EXPECT_EQ(answers.tolerance(), 0.1);
}

TEST_F(KalibrWindow, CertificateRefusesABadToleranceAnEmptySerialAndATableWithNothingCalculated)
{
    LocaleGuard locale(LocaleGuard::comma());
    // Nothing calculated yet: said before the dialog asks for anything.
    bool dialogShown = false;
    QTimer closer; // a dialog that comes up anyway is closed, not waited on
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            dialogShown = true;
            d->reject();
        }
    });
    closer.start();
    poverka()->Button_Certificate->click();
    closer.stop();
    EXPECT_FALSE(dialogShown);
    ASSERT_EQ(rig.boxes.requests.size(), 1);
    EXPECT_EQ(rig.boxes.requests.takeFirst().text,
              "В таблице поверки нет рассчитанных строк: заполните \"Эталон\" и \"Прибор\" и нажмите \"Пересчитать\".");

    poverka()->setCell(Verification::Etalon, 1, "1000");
    poverka()->setCell(Verification::Pribor, 1, "1001");
    poverka()->Edit_Poverka_Q_Max->setText("1000");
    poverka()->BT_RecalcClick();
    const QString notANumber = "Допуск «%1» — не число. Введите его в процентах, например 0,2.";
    const QString outOfRange = "Допуск должен быть больше 0 и не больше 100 %.";
    const QString noSerial = "Введите заводской номер прибора: без него протокол не составляется.";
    const struct
    {
        const char *serial, *tolerance;
        QString message;
    } cases[] = {
        {"КС-1", "", notANumber.arg("")},
        {"КС-1", "1.2.3", notANumber.arg("1.2.3")},
        {"КС-1", "0,2%", notANumber.arg("0,2%")},
        {"КС-1", "0", outOfRange},
        {"КС-1", "-0,5", outOfRange},
        {"КС-1", "100.5", outOfRange},
        {"", "0,2", noSerial},
        {"  ", "0,2", noSerial},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.serial) + "|" + c.tolerance);
        TDialog_Certificate answers(*poverka(), form);
        answers.Edit_Serial->setText(QString::fromUtf8(c.serial));
        answers.Edit_Tolerance->setText(QString::fromUtf8(c.tolerance));
        answers.accept();
        EXPECT_NE(answers.result(), QDialog::Accepted);
        ASSERT_EQ(rig.boxes.requests.size(), 1);
        EXPECT_EQ(rig.boxes.requests.takeFirst().text, c.message);
        EXPECT_EQ(answers.Edit_Tolerance->text(), QString::fromUtf8(c.tolerance)) << "kept as typed";
        if (c.message != noSerial) {
            EXPECT_EQ(answers.Label_Tolerance->text(), c.message);
        }
    }
}

namespace {

// A grid of one verified row.
class OneRow : public Verification::Cells
{
public:
    QString cell(int column, int row) const override
    {
        if (row != 1)
            return {};
        return column == Verification::Etalon ? QStringLiteral("1000") : column == Verification::Pribor ? QStringLiteral("1001") : QString();
    }
    void setCell(int, int, const QString &) override {}
};

} // namespace

TEST(Certificate, AFullDiskKeepsTheCertificateThatWasThere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("протокол.pdf"));
    CertificateData data;
    data.serialNumber = QStringLiteral("КС-0042");
    data.when = QDateTime(QDate(2026, 12, 9), QTime(10, 0));
    QString error;
    ASSERT_TRUE(WriteCertificatePdf(path, data, OneRow(), &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    ASSERT_TRUE(good.startsWith("%PDF") && good.contains("%%EOF"));

    data.serialNumber = QStringLiteral("КС-0043");
    bool saved = true;
    {
        FullDisk full(rlim_t(good.size() / 2));
        saved = WriteCertificatePdf(path, data, OneRow(), &error);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(error, QStringLiteral("Файл %1 не создан: %2").arg(path, qt_error_string(EFBIG)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), good);
}
