// What a run's certificate says, read from its items: everything a calibration
// certificate must carry, the verdict of every point under the run's rule, an older
// record without budgets, and how the items fall on pages.
#include "report/certificate_layout.h"
#include "report/run_metrology_text.h"
#include "report/run_result_text.h"
#include "support/locale_guard.h"
#include "unit/report/certificate_record.h"
#include <gtest/gtest.h>

using namespace CertificateLayout;

namespace {

const QDate Issued(2026, 12, 11);

QString allText(const QList<Item> &items)
{
    QStringList lines;
    for (const Item &i : items)
        lines << TextOf(i);
    return lines.join(QLatin1Char('\n'));
}

// The rows of the table under the heading of a phase.
QList<Item> rowsOf(const QList<Item> &items, RunPhase phase)
{
    QString title = PhaseTitle(phase);
    title[0] = title[0].toUpper();
    QList<Item> rows;
    bool inside = false;
    for (const Item &i : items) {
        if (i.kind == Kind::Heading)
            inside = i.text == title;
        else if (inside && i.kind == Kind::TableRow)
            rows << i;
    }
    return rows;
}

QStringList headOf(const QList<Item> &items, RunPhase phase)
{
    const QList<Item> rows = rowsOf(items, phase);
    for (const Item &i : items) {
        if (i.kind == Kind::TableHead && !rows.isEmpty() && i.table == rows.first().table)
            return i.cells;
    }
    return {};
}

} // namespace

TEST(CertificateLayout, ACompletedRunCarriesEverythingACertificateMust)
{
    LocaleGuard comma(LocaleGuard::comma());
    const RunRecord run = CertificateRecord::completed();
    const QString text = allText(Items(run, Issued));
    const QLocale l;
    const struct
    {
        const char *what;
        QString expected;
    } cases[] = {
        {"number", CertificateNumber(run)},
        {"laboratory", run.parties.laboratoryName},
        {"laboratory's address", run.parties.laboratoryAddress},
        {"customer", run.parties.customerName},
        {"customer's address", run.parties.customerAddress},
        {"serial", run.meterSerial},
        {"port's serial", run.portSerial},
        {"Q Max", QStringLiteral("Q Max: 1000 кг/ч")},
        {"condition as found", QStringLiteral("как найден): не годен")},
        {"plan", run.plan.value(QStringLiteral("name")).toString()},
        {"plan's digest", PlanDigest(run.plan)},
        {"date of calibration", QStringLiteral("Дата калибровки: 09.12.2026")},
        {"date of issue", QStringLiteral("Дата выдачи: 11.12.2026")},
        {"reference", QStringLiteral("Эталонный расходомер R-1, сертификат калибровки № C-77/2026, U = %1 % (k = 2), "
                                     "действителен до 01.06.2027")
                          .arg(l.toString(0.05))},
        {"fluid temperature", RunResultText::TubeTemperatureRange(run)},
        {"density", QStringLiteral("%1 кг/м³").arg(l.toString(998.2))},
        {"zero check", QStringLiteral("Среднее %1 кг/ч, σ %2 кг/ч при пределе %3 кг/ч")
                           .arg(RunResultText::Fixed3(0.012), RunResultText::Fixed3(0.004), RunResultText::Fixed3(0.5))},
        {"meter's zero", QStringLiteral("%1 нс").arg(RunResultText::Fixed3(1.875))},
        {"decision rule", DecisionRuleStatement(DecisionRule::Guarded)},
        {"coverage", QStringLiteral("U при k = 2, P ≈ 95 %")},
        {"written table", RunResultText::FloatText(run.writtenTable->at(14))},
        {"coefficient after", QStringLiteral("A | 1 | %1").arg(RunResultText::FloatText(0.9612f))},
        {"verdict as left", QStringLiteral("Как оставлен: не определено")},
        {"statement", QStringLiteral("Результаты относятся только к калибруемому средству измерений")},
        {"signatory", QStringLiteral("Начальник лаборатории   ____________________   / Петров П. П. /")},
        {"end", QStringLiteral("Конец сертификата")},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(text.contains(c.expected)) << c.what << ": " << c.expected.toStdString() << "\n" << text.toStdString();
    EXPECT_EQ(TextOf(Items(run, Issued).last()), QStringLiteral("— Конец сертификата —"));
    // The meter's own density readings, where the points have them, over the rig's figure.
    RunRecord measured = run;
    int highest = 0;
    for (RunPoint &p : measured.points) {
        p.density = 998.1 + 0.05 * p.index;
        highest = std::max(highest, p.index);
    }
    const QString range = RunResultText::DensityRange(measured);
    EXPECT_EQ(range, QStringLiteral("%1 … %2 кг/м³").arg(l.toString(998.15), l.toString(998.1 + 0.05 * highest)));
    EXPECT_TRUE(allText(Items(measured, Issued)).contains(QStringLiteral("Плотность жидкости (по прибору): ") + range));
}

// Each point's verdict is its conformity under the rule, never "годен" for one whose
// interval crosses the limit though its error alone is inside; an undetermined one says why.
TEST(CertificateLayout, EveryPointCarriesItsUAndItsVerdictUnderTheRule)
{
    LocaleGuard comma(LocaleGuard::comma());
    const RunRecord run = CertificateRecord::completed();
    const QList<Item> items = Items(run, Issued);
    const QString text = allText(items);
    for (RunPhase phase : {RunPhase::AsFound, RunPhase::AsLeft}) {
        const QList<RunPoint> points = run.pointsOf(phase);
        const QList<Item> rows = rowsOf(items, phase);
        const QStringList head = headOf(items, phase);
        ASSERT_EQ(rows.size(), points.size());
        const qsizetype u = head.indexOf(QStringLiteral("U, %"));
        ASSERT_GE(u, 0) << head.join(QLatin1Char('|')).toStdString();
        EXPECT_FALSE(head.contains(QStringLiteral("k"))) << "one k for all: stated once";
        for (int i = 0; i < points.size(); ++i) {
            const RunPoint &p = points[i];
            SCOPED_TRACE(TextOf(rows[i]).toStdString());
            EXPECT_EQ(rows[i].cells[u], RunResultText::Significant(p.metrology.budget->expandedPercent, 2));
            EXPECT_EQ(rows[i].cells.last(), ConformityTitle(*p.metrology.conformity));
            EXPECT_EQ(rows[i].alert, p.metrology.conformity == Conformity::Fail);
            const QString why = UndeterminedExplanation(p.index, p.targetPercent, *p.relativeError,
                                                        p.metrology.budget->expandedPercent, run.tolerancePercent);
            EXPECT_EQ(p.metrology.conformity == Conformity::Undetermined, !why.isEmpty());
            if (!why.isEmpty()) {
                EXPECT_TRUE(p.fits.value_or(false)) << "the case the simple verdict would pass";
                EXPECT_EQ(rows[i].cells.last(), QStringLiteral("не определено"));
                EXPECT_TRUE(text.contains(why)) << why.toStdString();
            }
        }
    }
}

// Older records, partial ones and mixed k: what is absent is left out, not printed empty.
TEST(CertificateLayout, WhatTheRecordDoesNotHaveIsLeftOut)
{
    LocaleGuard comma(LocaleGuard::comma());
    RunRecord mixedK = CertificateRecord::completed();
    mixedK.points[6].metrology.budget->coverageFactor = 2.28;
    RunRecord noParties = CertificateRecord::completed();
    noParties.parties = CertificateParties();
    const struct
    {
        const char *name;
        RunRecord run;
        bool uColumn, kColumn, zeroCheck, density;
        QString present, absent;
    } cases[] = {
        {"older", CertificateRecord::older(), false, false, false, false,
         QStringLiteral("Эталон ЭМР-2, свидетельство № С-77/2026, действительно до 01.03.2027"), QStringLiteral("U при k")},
        {"mixed k", mixedK, true, true, true, true, QStringLiteral("при k, указанном для точки"), QStringLiteral("U при k =")},
        {"no parties", noParties, true, false, true, true, QStringLiteral("Рабочее место stand-1\nЗаказчик\n____"),
         QStringLiteral("Петров")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<Item> items = Items(c.run, Issued);
        const QString text = allText(items);
        for (RunPhase phase : {RunPhase::AsFound, RunPhase::AsLeft}) {
            const QStringList head = headOf(items, phase);
            EXPECT_EQ(head.contains(QStringLiteral("U, %")), c.uColumn);
            EXPECT_EQ(head.contains(QStringLiteral("k")), c.kColumn);
            for (const Item &row : rowsOf(items, phase))
                EXPECT_EQ(row.cells.size(), head.size());
        }
        EXPECT_EQ(text.contains(QStringLiteral("Проверка нуля")), c.zeroCheck);
        EXPECT_EQ(text.contains(QStringLiteral("Плотность")), c.density);
        EXPECT_TRUE(text.contains(c.present)) << text.toStdString();
        EXPECT_FALSE(text.contains(c.absent));
        EXPECT_TRUE(text.contains(QStringLiteral("Результаты относятся только к калибруемому средству измерений")));
    }
}

// Pages from heights alone: nothing runs past a page's foot, a heading goes with what
// follows it, and a table that goes on to a new page starts it with its head again.
TEST(CertificateLayout, PagesKeepHeadingsWithTheirTablesAndRepeatTheHeads)
{
    auto item = [](Kind kind, int table = -1) {
        Item i;
        i.kind = kind;
        i.table = table;
        i.keepWithNext = kind == Kind::Heading || kind == Kind::TableHead;
        return i;
    };
    const struct
    {
        const char *name;
        QList<Item> items;
        QList<int> heights;
        int pageHeight;
        int pages;
    } cases[] = {
        {"all on one", {item(Kind::Text), item(Kind::Heading), item(Kind::Text)}, {10, 10, 10}, 30, 1},
        {"heading goes along", {item(Kind::Text), item(Kind::Heading), item(Kind::Text)}, {15, 10, 10}, 30, 2},
        {"head and first row go along",
         {item(Kind::Text), item(Kind::Heading), item(Kind::TableHead, 1), item(Kind::TableRow, 1)}, {20, 4, 4, 4}, 30, 2},
        {"long table", [&] {
             QList<Item> l{item(Kind::Heading), item(Kind::TableHead, 1)};
             for (int i = 0; i < 25; ++i)
                 l << item(Kind::TableRow, 1);
             return l;
         }(), [] {
             QList<int> h{6, 6};
             for (int i = 0; i < 25; ++i)
                 h << 5;
             return h;
         }(), 40, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<QList<int>> pages = Paginate(c.items, c.heights, c.pageHeight);
        EXPECT_EQ(pages.size(), c.pages);
        QList<int> seen;
        for (const QList<int> &page : pages) {
            ASSERT_FALSE(page.isEmpty());
            int y = 0;
            for (int i : page)
                y += c.heights[i];
            EXPECT_LE(y, c.pageHeight);
            EXPECT_FALSE(c.items[page.last()].keepWithNext) << "a page ends on a heading or a head";
            if (c.items[page.first()].kind == Kind::TableRow)
                ADD_FAILURE() << "a page starts with a row without its head";
            for (int i : page) {
                if (seen.isEmpty() || i > seen.last())
                    seen << i;
            }
        }
        EXPECT_EQ(seen.size(), c.items.size()) << "every item once, in order";
    }
}

namespace {

// A figure that rounds to nothing carries no sign; one that does not keeps it.
TEST(RunResultText, AFigureRoundedToZeroShowsNoSign)
{
    LocaleGuard comma(LocaleGuard::comma());
    const struct
    {
        double value;
        const char *text;
    } cases[] = {{-0.0004, "0,000"}, {0.0004, "0,000"}, {-0.004, "-0,004"}, {-12.0001, "-12,000"}, {-0.0, "0,000"}};
    for (const auto &c : cases)
        EXPECT_EQ(RunResultText::Fixed3(c.value), QString::fromUtf8(c.text)) << c.value;
    // U is stated to two figures, the second one kept when it is a zero.
    EXPECT_EQ(RunResultText::Significant(0.06, 2), QStringLiteral("0,060"));
    EXPECT_EQ(RunResultText::Significant(0.11, 2), QStringLiteral("0,11"));
}

} // namespace
