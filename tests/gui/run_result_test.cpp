// A calibration run's result: its certificate read back with pdftotext, the result
// view, and the runs of the history window.
#include "records/run_dcc.h"
#include "gui/kalibr_records_fixture.h"
#include "procedure/verification_table.h"
#include "support/full_disk.h"
#include "support/locale_guard.h"
#include "ui/calibration/form_kalibrovka.h"
#include "ui/common/tool_bar.h"
#include "ui/records/form_history.h"
#include "records/plant_sync.h"
#include "ui/result/run_adjustment_box.h"
#include "report/run_certificate.h"
#include "report/run_result_text.h"
#include "ui/result/run_result_view.h"
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cerrno>
#include <qcustomplot.h>

namespace {

constexpr double Tolerance = 0.2;

// One verified point as the table must show it.
struct Row
{
    RunPhase phase;
    int index;
    float reference, meter;
    const char *relative; // the error's text in a comma locale
    const char *verdict;
};
// As found about 4 % off, as left within 0.05 %.
const Row Rows[] = {
    {RunPhase::AsFound, 1, 100.0f, 103.9f, "3,900", "не годен"},
    {RunPhase::AsFound, 2, 500.0f, 520.1f, "4,020", "не годен"},
    {RunPhase::AsFound, 3, 1000.0f, 1041.0f, "4,100", "не годен"},
    {RunPhase::AsLeft, 1, 100.0f, 100.04f, "0,040", "годен"},
    {RunPhase::AsLeft, 2, 500.0f, 499.8f, "-0,040", "годен"},
    {RunPhase::AsLeft, 3, 1000.0f, 1000.5f, "0,050", "годен"},
};

RunPoint point(RunPhase phase, int index, float reference, float meter, double tube)
{
    RunPoint p;
    p.phase = phase;
    p.index = index;
    p.targetPercent = reference / 10.0;
    p.targetFlow = reference;
    p.referenceFlow = reference;
    p.meterFlow = meter;
    const Verification::PointErrors e = Verification::ErrorsOf(reference, meter, 1000.0f);
    p.absoluteError = e.absolute;
    if (e.relative)
        p.relativeError = *e.relative;
    if (e.reduced)
        p.reducedError = *e.reduced;
    if (phase != RunPhase::Calibration)
        p.fits = Verification::PointFits(e, Tolerance);
    p.tubeTemperature = tube;
    return p;
}

RunRecord completedRun(const QString &serial = QStringLiteral("КС-0042"))
{
    RunRecord r;
    r.id = 12;
    r.uuid = QStringLiteral("5b0e6c1a-3f7d-4c1e-9a55-0d2f3e4a5b6c");
    r.meterSerial = serial;
    r.operatorName = QStringLiteral("Иванов И. И.");
    r.workstation = QStringLiteral("stand-1");
    r.programVersion = QStringLiteral(KESTRO_VERSION);
    r.rigKind = QStringLiteral("modbus-tcp");
    r.rigSettings = QJsonObject{
        {"kind", "modbus-tcp"}, {"host", "10.0.0.5"}, {"port", 502}, {"map", QJsonObject{{"unit_id", 3}}},
        {"reference_instrument", QJsonObject{{"name", "Эталон ЭМР-2"}, {"certificate", "С-77/2026"}, {"due_date", "2027-03-01"}}}};
    r.startedUtc = QDateTime(QDate(2026, 12, 9), QTime(7, 0), Qt::UTC);
    r.endedUtc = r.startedUtc.addSecs(3600);
    r.end = RunEnd::Completed;
    r.qMax = 1000;
    r.tolerancePercent = Tolerance;
    double tube = 20.4;
    for (const Row &row : Rows) {
        r.points << point(row.phase, row.index, row.reference, row.meter, tube);
        tube += 0.25;
    }
    r.points << point(RunPhase::Calibration, 1, 700.0f, 728.0f, 21.0);
    r.coefficientsBefore = std::array<float, 4>{1.0f, 0.5f, 0.0f, 0.0f};
    r.coefficientsAfter = std::array<float, 4>{0.9612f, 0.5f, 0.0f, 0.0f};
    r.snapshotBeforeId = 7;
    r.snapshotAfterId = 9;
    r.asFoundFit = false;
    r.asFoundMaxError = 4.1;
    r.asLeftFit = true;
    r.asLeftMaxError = 0.05;
    return r;
}

QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString expectedFlow(float v)
{
    return QString::number(double(v), 'f', 3).replace(QLatin1Char('.'), QLocale().decimalPoint());
}

} // namespace

// The run page's error of a point: a zero set point reads reduced to Q Max, since its
// reference is at noise level; every other point reads relative; both in the locale's form.
TEST(RunResultText, APointsErrorIsReducedWhereTheSetPointIsZero)
{
    LocaleGuard comma(LocaleGuard::comma());
    const struct
    {
        double targetPercent;
        float reference, meter;
        const char *text;
    } cases[] = {
        {0.0, 0.25f, 3.8f, "0,355 % привед."},   // relative would be 1420 %
        {0.0, 0.0f, 0.5f, "0,050 % привед."},    // no relative error at all
        {50.0, 500.0f, 520.1f, "4,020 %"},
        {-10.0, -100.0f, -100.04f, "0,040 %"},
    };
    for (const auto &c : cases) {
        RunPoint p = point(RunPhase::Calibration, 1, c.reference, c.meter, 20.0);
        p.targetPercent = c.targetPercent;
        EXPECT_EQ(RunResultText::PointError(p), QString::fromUtf8(c.text)) << c.targetPercent << " " << c.reference;
    }
}

TEST(RunCertificate, CarriesTheMeterTheRunBothTablesAndTheirVerdicts)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        FAIL() << "pdftotext is missing: scripts/install-deps.sh installs poppler-utils";
    LocaleGuard locale(LocaleGuard::comma());
    const RunRecord run = completedRun();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("протокол калибровки.pdf"));
    QString error;
    ASSERT_TRUE(RunCertificate::Write(run, path, &error)) << error.toStdString();
    const QString text = pdfText(path);
    if (qEnvironmentVariableIsSet("KEEP_PDF"))
        QFile::copy(path, qEnvironmentVariable("KEEP_PDF"));

    for (const char *expected :
         {"СЕРТИФИКАТ КАЛИБРОВКИ", "заводской номер КС-0042", "5b0e6c1a-3f7d-4c1e-9a55-0d2f3e4a5b6c",
          "до — №7, после — №9", "Modbus TCP 10.0.0.5:502, устройство 3", "Эталон ЭМР-2, свидетельство № С-77/2026",
          "действительно до 01.03.2027", "20,4 … 21,65 °C", "Как найден: не годен", "Как оставлен: годен", "0,9612",
          "Калибровку выполнил: Иванов И. И.", "Подписал", "Конец сертификата"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(expected))) << expected << "\n" << text.toStdString();

    // Each table's rows under their own heading, with the point's values and verdict.
    const QStringList lines = text.split(QLatin1Char('\n'));
    qsizetype asLeftAt = 0;
    while (asLeftAt < lines.size() && lines[asLeftAt].trimmed() != QStringLiteral("Как оставлен"))
        ++asLeftAt;
    ASSERT_LT(asLeftAt, lines.size()) << text.toStdString();
    for (const Row &row : Rows) {
        const QStringList section = row.phase == RunPhase::AsFound ? lines.mid(0, asLeftAt) : lines.mid(asLeftAt);
        QString line;
        for (const QString &l : section) {
            if (l.trimmed().startsWith(QStringLiteral("%1 ").arg(row.index)))
                line = l.simplified();
        }
        SCOPED_TRACE(line.toStdString());
        for (const QString &cell : {expectedFlow(row.reference), expectedFlow(row.meter), QString::fromUtf8(row.relative)})
            EXPECT_TRUE(line.contains(QStringLiteral(" %1 ").arg(cell))) << cell.toStdString();
        const QString verdict = QString::fromUtf8(row.verdict);
        EXPECT_TRUE(line.endsWith(QStringLiteral(" ") + verdict));
        EXPECT_EQ(line.endsWith(QStringLiteral("не годен")), verdict == QStringLiteral("не годен"));
    }
}

// The thermometer written and checked, the zero left as it was: both in the view and the
// PDF with their own lines; a run without them shows neither.
TEST(RunCertificate, CarriesTheThermometerAndTheZeroOnlyWhenTheRunHadThem)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        FAIL() << "pdftotext is missing: scripts/install-deps.sh installs poppler-utils";
    LocaleGuard locale(LocaleGuard::comma());
    RunRecord adjusted = completedRun();
    TwoPointAdjustment thermometer;
    thermometer.pointsBefore = std::array<float, 4>{20.0f, 10210.0f, 60.0f, 30115.0f};
    thermometer.pointsWritten = std::array<float, 4>{20.05f, 10233.0f, 59.96f, 30098.0f};
    thermometer.coefficientsBefore = std::array<float, 2>{0.00201f, -0.52f};
    thermometer.coefficientsAfter = std::array<float, 2>{0.00199f, -0.36f};
    thermometer.written = true;
    thermometer.checkFits = false;
    TwoPointAdjustment zero;
    zero.pointsBefore = std::array<float, 4>{20.0f, 0.012f, 60.0f, 0.031f};
    zero.coefficientsBefore = std::array<float, 2>{0.000475f, 0.0025f};
    adjusted.adjustments.thermometer = thermometer;
    adjusted.adjustments.zero = zero;
    const double errors[] = {0.04, 0.17};
    for (int i = 1; i <= 2; ++i) {
        RunPoint p;
        p.phase = RunPhase::ThermometerCheck;
        p.index = i;
        p.temperature = PointTemperature{20.0 + 40 * (i - 1), 20.0 + 40 * (i - 1), 20.0 + 40 * (i - 1) + errors[i - 1],
                                         std::nullopt, std::nullopt, 0, 0, errors[i - 1], errors[i - 1] <= 0.1};
        adjusted.points << p;
    }
    QTemporaryDir dir;
    for (const RunRecord &run : {adjusted, completedRun()}) {
        const bool has = !run.adjustments.isEmpty();
        const QString path = dir.filePath(has ? QStringLiteral("с термометром.pdf") : QStringLiteral("без.pdf"));
        QString error;
        ASSERT_TRUE(RunCertificate::Write(run, path, &error)) << error.toStdString();
        if (has && qEnvironmentVariableIsSet("KEEP_PDF"))
            QFile::copy(path, qEnvironmentVariable("KEEP_PDF"));
        const QString text = pdfText(path);
        for (const char *expected : {"Термометр: записан в прибор; проверка: не годен",
                                     "Ноль по температуре: не записан; проверка не проведена", "10233", "0,00199",
                                     "0,170 °C", "Проверка после записи"})
            EXPECT_EQ(text.contains(QString::fromUtf8(expected)), has) << expected << "\n" << text.toStdString();

        TRunResultView view;
        view.showRun(run, false);
        EXPECT_EQ(view.Group_Adjustments->isVisibleTo(&view), has);
        EXPECT_EQ(view.Group_Adjustments->findChildren<QTableWidget *>().size(), has ? 3 : 0);
    }
}

TEST(RunCertificate, AFullDiskKeepsTheCertificateThatWasThere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("протокол.pdf"));
    QString error;
    ASSERT_TRUE(RunCertificate::Write(completedRun(), path, &error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    ASSERT_TRUE(good.startsWith("%PDF") && good.contains("%%EOF"));

    bool saved = true;
    {
        FullDisk full(rlim_t(good.size() / 2));
        saved = RunCertificate::Write(completedRun(QStringLiteral("КС-0043")), path, &error);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(error, QStringLiteral("Файл %1 не создан: %2").arg(path, qt_error_string(EFBIG)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), good);
}

TEST(RunResultView, ShowsBothTablesTheirVerdictsAndWhatCanBeDone)
{
    LocaleGuard locale(LocaleGuard::comma());
    const struct
    {
        const char *name;
        RunEnd end;
        const char *reason;
        bool canRestore;
        bool restoreShown;
        const char *endText;
    } cases[] = {
        {"completed, from the run", RunEnd::Completed, "", true, true, "Калибровка завершена"},
        {"from the history", RunEnd::Completed, "", false, false, "Калибровка завершена"},
        {"aborted after the write", RunEnd::Aborted, "остановлена оператором", true, true,
         "Калибровка прервана: остановлена оператором"},
        {"failed", RunEnd::Failed, "связь со стендом потеряна", false, false,
         "Калибровка не удалась: связь со стендом потеряна"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RunRecord run = completedRun();
        run.end = c.end;
        run.endReason = QString::fromUtf8(c.reason);
        TRunResultView view;
        view.showRun(run, c.canRestore);
        view.show();
        EXPECT_TRUE(view.Label_End->text().startsWith(QString::fromUtf8(c.endText))) << view.Label_End->text().toStdString();
        EXPECT_EQ(view.Button_Restore->isVisible(), c.restoreShown);
        ASSERT_EQ(view.Grid_AsFound->rowCount(), 3);
        ASSERT_EQ(view.Grid_AsLeft->rowCount(), 3);
        for (const Row &row : Rows) {
            QTableWidget *grid = row.phase == RunPhase::AsFound ? view.Grid_AsFound : view.Grid_AsLeft;
            const int r = row.index - 1;
            const int last = grid->columnCount() - 1;
            EXPECT_EQ(grid->item(r, 2)->text(), expectedFlow(row.reference));
            EXPECT_EQ(grid->item(r, 3)->text(), expectedFlow(row.meter));
            EXPECT_EQ(grid->item(r, 4)->text(), QString::fromUtf8(row.relative));
            EXPECT_EQ(grid->item(r, last)->text(), QString::fromUtf8(row.verdict));
            const bool unfit = QByteArray(row.verdict) == "не годен";
            for (int col : {0, last}) {
                EXPECT_EQ(grid->item(r, col)->font().bold(), unfit);
                EXPECT_EQ(grid->item(r, col)->foreground().style() != Qt::NoBrush, unfit) << "coloured";
            }
        }
        EXPECT_TRUE(view.Label_AsFoundVerdict->text().startsWith("Как найден: не годен"));
        EXPECT_TRUE(view.Label_AsLeftVerdict->text().startsWith("Как оставлен: годен"));
        // The band's edges, then each phase's points.
        ASSERT_EQ(view.Chart_Errors->graphCount(), 4);
        EXPECT_EQ(view.Chart_Errors->graph(2)->dataCount(), 3);
        EXPECT_EQ(view.Chart_Errors->graph(3)->dataCount(), 3);

        QSignalSpy restore(&view, &TRunResultView::restoreRequested);
        QSignalSpy open(&view, &TRunResultView::openRecordRequested);
        view.Button_OpenRecord->click();
        if (c.restoreShown)
            view.Button_Restore->click();
        ASSERT_EQ(open.size(), 1);
        EXPECT_EQ(open.first().first().toLongLong(), 12);
        ASSERT_EQ(restore.size(), c.restoreShown ? 1 : 0);
        if (c.restoreShown) {
            EXPECT_EQ(restore.first().first().toLongLong(), 7);
        }
    }
}

namespace {

class HistoryRuns : public KalibrWindowWithRecords
{
protected:
    qint64 store(RunRecord run, int minutesLater)
    {
        run.id = 0;
        run.uuid.clear();
        run.startedUtc = run.startedUtc.addSecs(60 * minutesLater);
        const QList<RunPoint> points = run.points;
        run.points.clear();
        EXPECT_TRUE(records->store().beginRun(run)) << records->store().lastError().toStdString();
        for (const RunPoint &p : points)
            EXPECT_TRUE(records->store().addRunPoint(run.id, p));
        EXPECT_TRUE(records->store().updateRun(run));
        return run.id;
    }
    QStringList column(TForm_History *h, int col)
    {
        QStringList texts;
        for (int r = 0; r < h->Grid_Runs->rowCount(); ++r)
            texts << h->Grid_Runs->item(r, col)->text();
        return texts;
    }
};

} // namespace

TEST_F(HistoryRuns, AreListedNewestFirstFilteredBySerialAndOpenReadOnly)
{
    const qint64 older = store(completedRun(QStringLiteral("КС-0042")), 0);
    const qint64 other = store(completedRun(QStringLiteral("КС-0099")), 10);
    const qint64 newer = store(completedRun(QStringLiteral("КС-0042")), 20);

    form->ToolButton_History->click();
    auto *history = form->findChild<TForm_History *>();
    ASSERT_TRUE(history);
    const struct
    {
        const char *filter;
        QList<qint64> ids;
    } cases[] = {{"", {newer, other, older}}, {"0042", {newer, older}}, {"кс-0099", {other}}, {"КС-1", {}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.filter);
        history->Edit_RunSerial->setText(QString::fromUtf8(c.filter));
        QStringList ids;
        for (qint64 id : c.ids)
            ids << QString::number(id);
        EXPECT_EQ(column(history, 0), ids);
        EXPECT_EQ(history->Label_Runs->text(), c.ids.isEmpty() ? QStringLiteral("Калибровок нет")
                                                               : QStringLiteral("Калибровок: %1").arg(c.ids.size()));
    }
    history->Edit_RunSerial->setText(QStringLiteral("0042"));
    EXPECT_EQ(column(history, 6), QStringList({"не годен", "не годен"}));
    EXPECT_EQ(column(history, 7), QStringList({"годен", "годен"}));

    // Asked for a run the filter hides: the filter gives way and the run opens, read-only.
    history->Edit_RunSerial->setText(QStringLiteral("0042"));
    form->showRunRecord(other);
    EXPECT_EQ(history->Tabs->currentIndex(), 1);
    EXPECT_TRUE(history->Edit_RunSerial->text().isEmpty());
    QList<TRunResultView *> views = history->findChildren<TRunResultView *>();
    ASSERT_EQ(views.size(), 1);
    TRunResultView *view = views.first();
    EXPECT_TRUE(view->window()->isVisible());
    EXPECT_EQ(view->run().id, other);
    EXPECT_EQ(view->run().meterSerial, "КС-0099");
    EXPECT_EQ(view->Grid_AsFound->rowCount(), 3);
    EXPECT_FALSE(view->Button_Restore->isVisible());
    EXPECT_FALSE(view->Button_OpenRecord->isVisible());
    ASSERT_EQ(history->Grid_Runs->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(history->Grid_Runs->item(history->Grid_Runs->currentRow(), 0)->text(), QString::number(other));

    // Printed again from the history.
    const QString path = dir.filePath(QStringLiteral("again.pdf"));
    ASSERT_TRUE(view->saveCertificate(path));
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.readAll().startsWith("%PDF"));
    // Its DCC from the same page: the bytes the record gives, else an error box.
    EXPECT_EQ(view->Button_ExportDcc->accessibleName(), QStringLiteral("Экспорт DCC (XML)…"));
    const QString xml = dir.filePath(QStringLiteral("again.xml"));
    ASSERT_TRUE(view->saveDcc(xml));
    QFile dcc(xml);
    ASSERT_TRUE(dcc.open(QIODevice::ReadOnly));
    EXPECT_EQ(dcc.readAll(), RunDcc::Write(view->run()));
    rig.boxes.requests.clear();
    EXPECT_FALSE(view->saveDcc(dir.filePath(QStringLiteral("no/such/folder/x.xml"))));
    EXPECT_EQ(rig.boxes.requests.size(), 1);

    rig.boxes.requests.clear();
    EXPECT_EQ(history->openRun(newer + 100), nullptr);
    ASSERT_EQ(rig.boxes.requests.size(), 1);
    EXPECT_EQ(rig.boxes.requests.first().text, QStringLiteral("Калибровка №%1 не найдена").arg(newer + 100));
}

// With a plant store set, the list can show the plant's runs, every workstation's,
// and open them read-only; this workstation's own list stays as it was.
TEST_F(HistoryRuns, ThePlantListShowsRunsMadeElsewhere)
{
    const qint64 here = store(completedRun(QStringLiteral("КС-0042")), 0);
    const QString plantPath = dir.filePath(QStringLiteral("plant.sqlite"));
    {
        TRecordStore plant(plantPath);
        RunRecord elsewhere = completedRun(QStringLiteral("КС-0777"));
        elsewhere.id = 0;
        elsewhere.uuid.clear();
        elsewhere.workstation = QStringLiteral("стенд-2");
        ASSERT_TRUE(plant.beginRun(elsewhere)) << plant.lastError().toStdString();
        ASSERT_TRUE(plant.updateRun(elsewhere));
    }
    for (const QString &url : {QString(), QStringLiteral("sqlite:") + plantPath}) {
        SCOPED_TRACE(url.toStdString());
        TPlantSync::SetConfiguredUrl(url);
        TForm_History history(*rig.dm, *records);
        EXPECT_EQ(history.CB_PlantRuns->isEnabled(), !url.isEmpty());
        history.refreshRuns();
        EXPECT_EQ(column(&history, 0), QStringList{QString::number(here)});
        if (url.isEmpty())
            continue;
        history.CB_PlantRuns->setChecked(true);
        EXPECT_EQ(column(&history, 2), QStringList{QStringLiteral("КС-0777")});
        history.Grid_Runs->selectRow(0);
        TRunResultView *view = history.openRun(history.runs().first().id);
        ASSERT_TRUE(view);
        EXPECT_EQ(view->run().workstation, QStringLiteral("стенд-2"));
        EXPECT_TRUE(view->Label_Title->text().endsWith(QStringLiteral(" · рабочее место стенд-2")))
            << view->Label_Title->text().toStdString();
        EXPECT_FALSE(view->Button_Restore->isVisible());
        history.CB_PlantRuns->setChecked(false);
        EXPECT_EQ(column(&history, 0), QStringList{QString::number(here)});
    }
    TPlantSync::SetConfiguredUrl(QString());
}
