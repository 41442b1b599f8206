// A run's metrology where its result is shown: U, repeatability and runs beside each
// error, the rule above the verdicts, why a point is undetermined, the largest budget
// and the zero at no flow; an older record without metrology reads as it always did.
#include "support/locale_guard.h"
#include "report/run_certificate.h"
#include "ui/result/run_metrology_box.h"
#include "report/run_metrology_text.h"
#include "report/run_result_text.h"
#include "ui/result/run_result_view.h"
#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <functional>
#include <utility>
#include <gtest/gtest.h>

namespace {

constexpr double Tolerance = 0.2;

UncertaintyBudget budget(double expanded, double k = 2.0)
{
    UncertaintyBudget b;
    b.components = {{"reference", "эталон", "normal", 0.025, std::nullopt},
                    {"repeatability", "повторяемость", "t", 0.02, 4.0}};
    b.combinedPercent = 0.032;
    b.effectiveDegreesOfFreedom = 10.5;
    b.coverageFactor = k;
    b.coverageProbability = 0.9545;
    b.expandedPercent = expanded;
    return b;
}

RunPoint point(RunPhase phase, int index, double targetPercent, double relative, std::optional<bool> fits)
{
    RunPoint p;
    p.phase = phase;
    p.index = index;
    p.targetPercent = targetPercent;
    p.targetFlow = targetPercent * 10.0;
    p.referenceFlow = p.targetFlow;
    p.meterFlow = p.targetFlow * (1.0 + relative / 100.0);
    p.relativeError = relative;
    p.reducedError = relative * targetPercent / 100.0;
    p.fits = fits;
    return p;
}

void measured(RunPoint &p, double expanded, std::optional<Conformity> verdict)
{
    p.metrology.runs = QList<PointRun>(3);
    p.metrology.repeatabilityPercent = 0.012;
    p.metrology.budget = budget(expanded);
    p.metrology.conformity = verdict;
}

// As found 4 % off, as left within the tolerance: no metrology, as records were kept before it.
RunRecord older()
{
    RunRecord r;
    r.tolerancePercent = Tolerance;
    r.rigSettings = QJsonObject{
        {"reference_instrument", QJsonObject{{"name", "Эталон ЭМР-2"}, {"certificate", "С-77/2026"}, {"due_date", "2027-03-01"}}}};
    r.points = {point(RunPhase::AsFound, 1, 100, 4.0, false), point(RunPhase::AsFound, 2, 50, 3.9, false),
                point(RunPhase::AsLeft, 1, 100, 0.04, true), point(RunPhase::AsLeft, 2, 50, 0.15, true)};
    r.asFoundFit = false;
    r.asFoundMaxError = 4.0;
    r.asLeftFit = true;
    r.asLeftMaxError = 0.15;
    return r;
}

RunRecord simple()
{
    RunRecord r = older();
    measured(r.points[0], 0.057, Conformity::Fail);
    measured(r.points[1], 0.06, Conformity::Fail);
    measured(r.points[2], 0.05, Conformity::Pass);
    measured(r.points[3], 0.08, Conformity::Pass);
    r.metrology.rule = DecisionRule::Simple;
    r.metrology.reference = ReferenceInstrument{"Кориолис-Э", "С-12", QDate(2027, 5, 31), 0.05, 2.0, std::nullopt};
    r.metrology.asFound = Conformity::Fail;
    r.metrology.asLeft = Conformity::Pass;
    ZeroCheckResult zero;
    zero.meanKgH = 0.012;
    zero.sigmaKgH = 0.034;
    zero.limitKgH = 0.5;
    zero.seconds = 60;
    zero.samples = 120;
    zero.fits = true;
    zero.storedZeroNs = 12.345;
    zero.tubeTemperature = 20.1;
    r.metrology.zeroCheck = zero;
    return r;
}

// Guarded: as left point 2 at 0.15 % with U 0.08 % against 0.2 %: neither verdict holds.
RunRecord guarded()
{
    RunRecord r = simple();
    r.metrology.rule = DecisionRule::Guarded;
    r.points[3].fits.reset();
    r.points[3].metrology.conformity = Conformity::Undetermined;
    r.asLeftFit.reset();
    r.metrology.asLeft = Conformity::Undetermined;
    r.metrology.zeroCheck->fits = false;
    return r;
}

QString verdictCell(const RunRecord &run, int point)
{
    return RunResultText::PointCells(run.points[point], RunResultText::ColumnsOf(run)).constLast();
}

} // namespace

TEST(RunMetrologyText, ShowsWhatTheRecordKnowsAndAnOlderRecordAsBefore)
{
    LocaleGuard locale(LocaleGuard::comma());
    using namespace RunResultText;
    const struct
    {
        const char *name;
        std::function<RunRecord()> make;
        qsizetype columns;
        const char *rule;          // in the statement; empty: none shown
        const char *asLeftPoint2;  // its verdict cell
        const char *asLeftLine;    // the phase's verdict line starts so
        const char *uncertainty;   // as left point 2's U cell; empty: no such column
        const char *zero;          // in the zero check's line; empty: none
        const char *reference;
        qsizetype undetermined;
    } cases[] = {
        {"older record", older, 7, "", "годен", "Как оставлен: годен — наибольшая погрешность 0,150 %", "", "",
         "Эталон ЭМР-2, свидетельство № С-77/2026, действительно до 01.03.2027", 0},
        {"simple rule", simple, 10, "простое принятие", "годен", "Как оставлен: годен", "±0,080",
         "среднее 0,012 кг/ч, σ 0,034 кг/ч при пределе 0,500 кг/ч (60 с) — в допуске; ноль прибора 12,345 нс при 20,1 °C",
         "Кориолис-Э, свидетельство № С-12, U = 0,050 % (k = 2), действительно до 31.05.2027", 0},
        {"guarded rule, a point undetermined", guarded, 10, "с защитной полосой", "не определено",
         "Как оставлен: не определено", "±0,080", "— вне допуска", "Кориолис-Э", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const RunRecord run = c.make();
        const TableColumns columns = ColumnsOf(run);
        const QStringList headings = TableHeadings(columns);
        ASSERT_EQ(headings.size(), c.columns);
        EXPECT_EQ(headings.constLast(), QStringLiteral("Вывод"));
        EXPECT_EQ(headings.mid(0, 6), TableHeadings().mid(0, 6));
        for (const RunPoint &p : run.points)
            EXPECT_EQ(PointCells(p, columns).size(), c.columns);
        EXPECT_EQ(verdictCell(run, 3), QString::fromUtf8(c.asLeftPoint2));
        EXPECT_TRUE(VerdictLine(run, RunPhase::AsLeft).startsWith(QString::fromUtf8(c.asLeftLine)))
            << VerdictLine(run, RunPhase::AsLeft).toStdString();
        const qsizetype u = headings.indexOf(QStringLiteral("± U, %"));
        EXPECT_EQ(u < 0 ? QString() : PointCells(run.points[3], columns)[u], QString::fromUtf8(c.uncertainty));
        const QString rule = RuleStatement(run);
        EXPECT_EQ(rule.isEmpty(), !*c.rule);
        EXPECT_TRUE(rule.contains(QString::fromUtf8(c.rule))) << rule.toStdString();
        EXPECT_EQ(CoverageNote(run).isEmpty(), !*c.uncertainty);
        EXPECT_EQ(WorstBudget(run).has_value(), *c.uncertainty != 0);
        const QString zero = ZeroCheckLine(run);
        EXPECT_EQ(zero.isEmpty(), !*c.zero);
        EXPECT_TRUE(zero.contains(QString::fromUtf8(c.zero))) << zero.toStdString();
        EXPECT_TRUE(ReferenceLine(run).startsWith(QString::fromUtf8(c.reference))) << ReferenceLine(run).toStdString();
        const QStringList open = UndeterminedLines(run);
        ASSERT_EQ(open.size(), c.undetermined);
        for (const QString &line : open) {
            EXPECT_TRUE(line.startsWith(QStringLiteral("Как оставлен, точка 2 (50 %): |0,15| + 0,08 = 0,23 % > 0,2 %")))
                << line.toStdString();
            EXPECT_TRUE(line.endsWith(QStringLiteral("— не определено")));
        }
    }
}

// Under the guarded rule nothing the record left open reads as a verdict: not the
// point, not the phase, even where the fit or the rule's verdict is all there is.
TEST(RunMetrologyText, AnUndeterminedPointNeverReadsAsPassOrFail)
{
    using namespace RunResultText;
    const struct
    {
        const char *name;
        std::optional<bool> fits;
        std::optional<Conformity> conformity;
        const char *verdict;
    } cases[] = {
        {"the rule's verdict only", std::nullopt, Conformity::Undetermined, "не определено"},
        {"the rule overrides a fit", true, Conformity::Undetermined, "не определено"},
        {"the rule fails a fit", true, Conformity::Fail, "не годен"},
        {"a fit only, as before", false, std::nullopt, "не годен"},
        {"no verdict at all", std::nullopt, std::nullopt, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RunRecord run = guarded();
        run.points[3].fits = c.fits;
        run.points[3].metrology.conformity = c.conformity;
        EXPECT_EQ(verdictCell(run, 3), QString::fromUtf8(c.verdict));
        EXPECT_EQ(UndeterminedLines(run).size(), c.conformity == Conformity::Undetermined ? 1 : 0);
    }
    RunRecord run = guarded();
    run.asLeftFit = true; // a record whose rule left the phase open keeps it open
    EXPECT_TRUE(VerdictLine(run, RunPhase::AsLeft).startsWith(QStringLiteral("Как оставлен: не определено")));
    // A point whose numbers no longer show why still says it is open.
    run.points[3].metrology.budget.reset();
    ASSERT_EQ(UndeterminedLines(run).size(), 1);
    EXPECT_EQ(UndeterminedLines(run).first(), QStringLiteral("Как оставлен, точка 2 (50 %): не определено"));
}

TEST(RunMetrologyText, TheBudgetShownIsTheWorstVerificationPoints)
{
    using namespace RunResultText;
    struct Budgeted
    {
        RunPhase phase;
        int index;
        double expanded;
    };
    const struct
    {
        const char *name;
        QList<Budgeted> points;
        int worst; // index into points; -1: none
    } cases[] = {
        {"largest as left", {{RunPhase::AsFound, 1, 0.05}, {RunPhase::AsLeft, 1, 0.09}, {RunPhase::AsLeft, 2, 0.07}}, 1},
        {"a calibration point's larger U does not count",
         {{RunPhase::AsFound, 1, 0.05}, {RunPhase::Calibration, 1, 0.3}, {RunPhase::AsLeft, 1, 0.04}}, 0},
        {"only calibration points have one", {{RunPhase::Calibration, 1, 0.1}, {RunPhase::Calibration, 2, 0.2}}, 1},
        {"a tie goes to the first", {{RunPhase::AsFound, 1, 0.09}, {RunPhase::AsLeft, 2, 0.09}}, 0},
        {"none has a budget", {}, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RunRecord run = older();
        run.points.clear();
        for (const Budgeted &b : c.points) {
            run.points << point(b.phase, b.index, 50.0 * b.index, 0.01, true);
            run.points.last().metrology.budget = budget(b.expanded);
        }
        run.points << point(RunPhase::AsLeft, 9, 100, 0.01, true); // no budget at all
        const RunPoint *worst = WorstBudgetPoint(run);
        const std::optional<BudgetTable> table = WorstBudget(run);
        ASSERT_EQ(worst != nullptr, c.worst >= 0);
        ASSERT_EQ(table.has_value(), c.worst >= 0);
        if (c.worst < 0)
            continue;
        EXPECT_EQ(worst, &std::as_const(run.points)[c.worst]);
        const Budgeted &b = c.points[c.worst];
        EXPECT_TRUE(table->title.contains(QStringLiteral("%1, точка %2 ").arg(PhaseTitle(b.phase)).arg(b.index)))
            << table->title.toStdString();
        // Each source, then the combined.
        ASSERT_EQ(table->rows.size(), 3);
        EXPECT_EQ(table->rows[1], (QStringList{"повторяемость", "Стьюдента", Significant(0.02, 2), "4"}));
        EXPECT_EQ(table->rows[0].constLast(), QStringLiteral("∞"));
        EXPECT_EQ(table->rows[2].constFirst(), QStringLiteral("суммарная"));
        EXPECT_TRUE(table->summary.endsWith(QStringLiteral("U = %1 %").arg(Significant(b.expanded, 2))))
            << table->summary.toStdString();
    }
}

TEST(RunMetrologyText, NumbersFollowTheLocale)
{
    using namespace RunResultText;
    const struct
    {
        QLocale locale;
        double value;
        int figures;
        const char *significant;
    } cases[] = {
        {LocaleGuard::comma(), 0.057, 2, "0,057"},  {LocaleGuard::point(), 0.057, 2, "0.057"},
        {LocaleGuard::comma(), 0.1, 2, "0,10"},     {LocaleGuard::comma(), 12.34, 3, "12,3"},
        {LocaleGuard::comma(), 0.0, 2, "0,0"},      {LocaleGuard::point(), 12345.6, 6, "12345.6"},
        {LocaleGuard::comma(), 12345.6, 6, "12345,6"}, // never a thousands separator
    };
    for (const auto &c : cases) {
        LocaleGuard guard(c.locale);
        EXPECT_EQ(Significant(c.value, c.figures), QString::fromUtf8(c.significant)) << c.value;
    }
    LocaleGuard comma(LocaleGuard::comma());
    EXPECT_EQ(DegreesOfFreedom(std::nullopt), QStringLiteral("∞"));
    EXPECT_EQ(DegreesOfFreedom(4.0), QStringLiteral("4"));
    EXPECT_EQ(DegreesOfFreedom(24.34), QStringLiteral("24,3"));
    EXPECT_EQ(CoverageFactor(2.0), QStringLiteral("2"));
    EXPECT_EQ(CoverageFactor(2.11), QStringLiteral("2,11"));
    RunRecord run = simple();
    EXPECT_EQ(CoverageNote(run),
              QStringLiteral("± U — расширенная неопределённость в % от измеренного значения при k = 2, p ≈ 95,45 %"));
    run.points[1].metrology.budget->coverageFactor = 2.52;
    EXPECT_TRUE(CoverageNote(run).contains(QStringLiteral("k от 2 до 2,52"))) << CoverageNote(run).toStdString();
}

// The page as the run window shows it: the metrology in sight without a sideways
// scroll, and none of it for an older record. KEEP_SHOT=file.png keeps the picture.
TEST(RunResultView, ShowsTheMetrologyOnlyWhereTheRecordHasIt)
{
    LocaleGuard locale(LocaleGuard::comma());
    for (const auto &[name, run] : {std::pair{"guarded", guarded()}, std::pair{"older", older()}}) {
        SCOPED_TRACE(name);
        const bool metrology = QByteArray(name) != "older";
        TRunResultView view;
        view.resize(980, 640); // the run window's page
        view.showRun(run, false);
        view.show();
        QApplication::processEvents();
        EXPECT_EQ(view.Label_Rule->isVisible(), metrology);
        EXPECT_EQ(view.Label_Coverage->isVisible(), metrology);
        EXPECT_EQ(view.Label_Undetermined->isVisible(), metrology);
        EXPECT_EQ(view.Group_Metrology->isVisible(), metrology);
        EXPECT_EQ(view.Grid_AsLeft->columnCount(), metrology ? 10 : 7);
        EXPECT_EQ(view.Grid_AsLeft->item(1, view.Grid_AsLeft->columnCount() - 1)->text(),
                  metrology ? QStringLiteral("не определено") : QStringLiteral("годен"));
        EXPECT_TRUE(view.Label_AsLeftVerdict->text().startsWith(metrology ? "Как оставлен: не определено" : "Как оставлен: годен"));
        if (metrology) {
            EXPECT_EQ(view.Group_Metrology->Grid_Budget->rowCount(), 3);
            EXPECT_TRUE(view.Group_Metrology->Label_ZeroCheck->isVisible());
            EXPECT_TRUE(view.Label_Undetermined->text().contains(QStringLiteral("точка 2")));
        }
        // Both tables with their verdicts side by side, nothing pushed out sideways.
        EXPECT_FALSE(view.Scroll_Result->horizontalScrollBar()->isVisible());
        for (QTableWidget *grid : {view.Grid_AsFound, view.Grid_AsLeft})
            EXPECT_FALSE(grid->horizontalScrollBar()->isVisible()) << grid->objectName().toStdString();
        // With the metrology's columns the tables go one above the other: the run window
        // need not grow for them.
        if (metrology) {
            EXPECT_LE(view.minimumSizeHint().width(), 980);
        }
        if (qEnvironmentVariableIsSet("KEEP_SHOT")) {
            const QString path = qEnvironmentVariable("KEEP_SHOT");
            view.grab().save(QString(path).replace(QStringLiteral(".png"), QStringLiteral("-%1.png").arg(name)));
            view.Scroll_Result->widget()->grab().save(
                QString(path).replace(QStringLiteral(".png"), QStringLiteral("-%1-all.png").arg(name)));
        }
    }
}

// The certificate carries U beside each error and the rule before the verdicts; an
// older record's has neither.
TEST(RunCertificate, CarriesUAndTheRuleWhereTheRecordHasThem)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        FAIL() << "pdftotext is missing: scripts/install-deps.sh installs poppler-utils";
    LocaleGuard locale(LocaleGuard::comma());
    for (const auto &[name, run] : {std::pair{"guarded", guarded()}, std::pair{"older", older()}}) {
        SCOPED_TRACE(name);
        const bool metrology = QByteArray(name) != "older";
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("протокол.pdf"));
        QString error;
        ASSERT_TRUE(RunCertificate::Write(run, path, &error)) << error.toStdString();
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
        ASSERT_TRUE(p.waitForFinished(20000));
        const QString text = QString::fromUtf8(p.readAllStandardOutput()).simplified();
        EXPECT_EQ(text.contains(QStringLiteral("U, %")), metrology);
        EXPECT_EQ(text.contains(QStringLiteral("0,150 0,075 0,080 не определено")), metrology) << text.toStdString();
        EXPECT_EQ(text.contains(QStringLiteral("|0,15| + 0,08 = 0,23 % > 0,2 %")), metrology) << text.toStdString();
        EXPECT_TRUE(text.contains(metrology ? QStringLiteral("Как оставлен: не определено") : QStringLiteral("Как оставлен: годен")));
        if (qEnvironmentVariableIsSet("KEEP_PDF"))
            QFile::copy(path, qEnvironmentVariable("KEEP_PDF").replace(QStringLiteral(".pdf"), QStringLiteral("-%1.pdf").arg(name)));
    }
}
