// The run window's thermometer and zero: the plan page's fields into the plan and back
// in the next window, the operator's reference temperature answered on the run page,
// and the result's rows for the two adjustments.
#include "records/calibration_records.h"
#include "rig/operator_rig.h"
#include "support/locale_guard.h"
#include "support/scripted_link.h"
#include "ui/calibration/live_chart.h"
#include "report/run_result_text.h"
#include "ui/run/run_plan_page.h"
#include "ui/run/run_plan_temperature_group.h"
#include "ui/run/run_progress_page.h"
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

std::unique_ptr<TRunPlanPage> planPage()
{
    auto page = std::make_unique<TRunPlanPage>(RunWindowSetup{});
    page->Edit_Serial->setText(QStringLiteral("T-1"));
    page->Edit_Operator->setText(QStringLiteral("Петров"));
    return page;
}

// Each control as typed, the plan field it fills.
struct Typed
{
    const char *control;
    const char *text;
    double RunPlan::*field;
    double expected;
};
const Typed TypedFields[] = {
    {"Edit_LowTemperature", "18,5", &RunPlan::lowTemperature, 18.5},
    {"Edit_HighTemperature", "55.25", &RunPlan::highTemperature, 55.25},
    {"Edit_TemperatureTolerance", "0,75", &RunPlan::temperatureTolerance, 0.75},
    {"Edit_TemperatureSigma", "0,02", &RunPlan::temperatureSigma, 0.02},
    {"Edit_TemperatureDrift", "0,03", &RunPlan::temperatureDrift, 0.03},
    {"Edit_TemperatureTimeout", "900", &RunPlan::temperatureTimeoutSeconds, 900},
    {"Edit_ThermometerCheck", "0,15", &RunPlan::thermometerCheckTolerance, 0.15},
    {"Edit_ZeroLimit", "0,04", &RunPlan::zeroLimitNs, 0.04},
};

struct Phase
{
    const char *control;
    bool RunPlan::*field;
};
const Phase Phases[] = {
    {"Check_Thermometer", &RunPlan::thermometerPhase},
    {"Check_Zero", &RunPlan::zeroPhase},
    {"Check_Flow", &RunPlan::flowPhase},
    {"Check_Verification", &RunPlan::verificationPhase},
};

TEST(RunPlanTemperature, TypedFieldsFillThePlanAndComeBackInTheNextWindow)
{
    LocaleGuard russian(LocaleGuard::comma());
    for (int flip = 0; flip < 2; ++flip) {
        {
            auto page = planPage();
            for (const Typed &t : TypedFields)
                page->findChild<QLineEdit *>(QLatin1String(t.control))->setText(QString::fromUtf8(t.text));
            // Two phases off, alternately, so that neither default nor a stuck box passes.
            for (int i = 0; i < 4; ++i)
                page->findChild<QCheckBox *>(QLatin1String(Phases[i].control))->setChecked((i + flip) % 2 == 0);
            QString error;
            const std::optional<RunOptions> options = page->runOptions(&error);
            ASSERT_TRUE(options) << error.toStdString();
            for (const Typed &t : TypedFields)
                EXPECT_DOUBLE_EQ(options->plan.*(t.field), t.expected) << t.control;
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(options->plan.*(Phases[i].field), (i + flip) % 2 == 0) << Phases[i].control << flip;
            page->remember();
        }
        auto next = planPage();
        QString error;
        const std::optional<RunOptions> again = next->runOptions(&error);
        ASSERT_TRUE(again) << error.toStdString();
        for (const Typed &t : TypedFields) {
            EXPECT_DOUBLE_EQ(again->plan.*(t.field), t.expected) << t.control;
            EXPECT_EQ(next->findChild<QLineEdit *>(QLatin1String(t.control))->text(),
                      QString::fromUtf8(t.text).replace(QLatin1Char('.'), QLatin1Char(',')))
                << t.control;
        }
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(again->plan.*(Phases[i].field), (i + flip) % 2 == 0) << Phases[i].control << flip;
    }
    // The next test in this process starts from the defaults again.
    auto reset = planPage();
    reset->Group_Temperature->showPlan(RunPlan{});
    reset->remember();
}

// A bad field refuses the start, names itself and is marked.
struct Refused
{
    const char *control;
    const char *text;
    const char *named;
};
const Refused RefusedFields[] = {
    {"Edit_LowTemperature", "2о", "low_temperature"},
    {"Edit_HighTemperature", "15", "high_temperature"},
    {"Edit_TemperatureSigma", "0", "temperature_sigma"},
    {"Edit_ZeroLimit", "-0,1", "zero_limit_ns"},
};

TEST(RunPlanTemperature, ABadFieldRefusesTheStartNamingIt)
{
    for (const Refused &r : RefusedFields) {
        auto page = planPage();
        page->Group_Temperature->showPlan(RunPlan{});
        auto *edit = page->findChild<QLineEdit *>(QLatin1String(r.control));
        edit->setText(QString::fromUtf8(r.text));
        QString error;
        EXPECT_FALSE(page->runOptions(&error)) << r.control;
        EXPECT_TRUE(error.contains(QLatin1String(r.named))) << error.toStdString();
        EXPECT_FALSE(edit->styleSheet().isEmpty()) << r.control;
    }
}

// The operator's answers on the run page, with a run that is not started: its prompt is
// played from here, as the run asks it.
class Prompt : public testing::Test
{
protected:
    static std::unique_ptr<TRecordStore> opened(const QString &path)
    {
        auto store = std::make_unique<TRecordStore>(path);
        EXPECT_TRUE(store->open());
        return store;
    }
    Prompt() : records(link, opened(dir.filePath(QStringLiteral("s.sqlite")))), run(link, records, rig)
    {
        RunOptions options;
        options.plan = RunPlanFile::Default();
        page.follow(&run, options, QStringLiteral("ручной"));
        page.show();
    }
    QTemporaryDir dir;
    ScriptedLink link;
    TCalibrationRecords records;
    TOperatorRig rig;
    TCalibrationRun run;
    TRunProgressPage page;
};

struct Answer
{
    OperatorRequest request;
    const char *typed;
    bool taken;
};
const Answer Answers[] = {
    {OperatorRequest::EnterReferenceTemperature, "21,35", true},
    {OperatorRequest::EnterReferenceTemperature, "21.35", true},
    {OperatorRequest::EnterReferenceTemperature, "21о", false},
    {OperatorRequest::EnterReferenceTemperature, "", false},
    {OperatorRequest::SetTemperature, "", true},
};

TEST_F(Prompt, TheReferenceTemperatureIsTypedWithEitherDecimalMark)
{
    for (const Answer &a : Answers) {
        emit run.operatorNeeded(a.request, 0.0, QStringLiteral("Установите 20 °C"));
        ASSERT_TRUE(page.Panel_Operator->isVisible());
        const bool typed = a.request == OperatorRequest::EnterReferenceTemperature;
        EXPECT_EQ(page.Edit_OperatorReference->isVisible(), typed);
        if (typed)
            EXPECT_EQ(page.Edit_OperatorReference->accessibleName(), QStringLiteral("Показание эталонного термометра, °C"));
        else
            EXPECT_EQ(page.Button_OperatorDone->text(), QStringLiteral("Температура установлена"));
        page.Edit_OperatorReference->setText(QString::fromUtf8(a.typed));
        page.Button_OperatorDone->click();
        EXPECT_EQ(page.Panel_Operator->isVisible(), !a.taken) << a.typed;
        EXPECT_EQ(page.Edit_OperatorReference->styleSheet().isEmpty(), a.taken) << a.typed;
    }
}

TEST_F(Prompt, TemperaturePointsAreListedBeforeTheFlowsWithTheirFigures)
{
    LocaleGuard russian(LocaleGuard::comma());
    const RunPhase first[] = {RunPhase::Thermometer, RunPhase::ThermometerCheck, RunPhase::Zero,
                              RunPhase::ZeroTemperatureCheck, RunPhase::ZeroCheck, RunPhase::AsFound};
    for (int i = 0; i < int(std::size(first)); ++i)
        EXPECT_EQ(page.Tree_Points->topLevelItem(i)->data(0, Qt::UserRole).toInt(), int(first[i])) << i;
    emit run.pointStarted(RunPhase::ThermometerCheck, 2, 0.0);
    EXPECT_TRUE(page.Chart_Temperature->isVisibleTo(&page));
    EXPECT_FALSE(page.Chart_Point->isVisibleTo(&page));
    RunPoint p;
    p.phase = RunPhase::ThermometerCheck;
    p.index = 2;
    p.temperature = PointTemperature{60, 60.012, 60.15, std::nullopt, std::nullopt, 0, 0, 0.138, false};
    emit run.pointTaken(p);
    const QString note = page.Tree_Points->topLevelItem(1)->child(1)->text(3);
    EXPECT_TRUE(note.contains(QStringLiteral("0,138 °C"))) << note.toStdString();
    EXPECT_TRUE(note.contains(QStringLiteral("не годен"))) << note.toStdString();
}

// The result's rows for an adjustment as the record left it.
struct Adjusted
{
    bool zero;
    bool written;
    std::optional<bool> fits;
    const char *line;
    const char *error; // the second check point's error cell
};
const Adjusted AdjustedRuns[] = {
    {false, true, true, "Термометр: записан в прибор; проверка: годен", "0,040 °C"},
    {false, true, false, "Термометр: записан в прибор; проверка: не годен", "0,140 °C"},
    {true, false, std::nullopt, "Ноль по температуре: не записан; проверка не проведена", ""},
    {true, true, false, "Ноль по температуре: записан в прибор; проверка: не годен", "0,140 нс"},
};

TEST(RunAdjustmentText, RowsShowBeforeWrittenAndEachChecksVerdict)
{
    LocaleGuard russian(LocaleGuard::comma());
    for (const Adjusted &c : AdjustedRuns) {
        RunRecord run;
        TwoPointAdjustment a;
        a.pointsBefore = std::array<float, 4>{20.0f, 1000.0f, 60.0f, 3000.5f};
        a.coefficientsBefore = std::array<float, 2>{0.02f, -20.0f};
        if (c.written) {
            a.pointsWritten = std::array<float, 4>{20.1f, 1010.0f, 59.9f, 2990.0f};
            a.coefficientsAfter = std::array<float, 2>{0.0201f, -20.3f};
        }
        a.written = c.written;
        a.checkFits = c.fits;
        (c.zero ? run.adjustments.zero : run.adjustments.thermometer) = a;
        const RunPhase check = c.zero ? RunPhase::ZeroTemperatureCheck : RunPhase::ThermometerCheck;
        for (int i = 1; c.fits && i <= 2; ++i) {
            RunPoint p;
            p.phase = check;
            p.index = i;
            const bool fits = i == 1 || *c.fits;
            p.temperature = PointTemperature{20.0 + 40 * (i - 1), 20.0, 20.04, std::nullopt, std::nullopt, 0, 0,
                                             fits ? 0.04 : 0.14, fits};
            run.points.append(p);
        }
        const QList<RunResultText::AdjustmentSection> sections = RunResultText::AdjustmentSections(run);
        ASSERT_EQ(sections.size(), 1);
        const RunResultText::AdjustmentSection &s = sections[0];
        EXPECT_EQ(QStringLiteral("%1: %2").arg(s.title, s.line), QString::fromUtf8(c.line));
        ASSERT_EQ(s.rows.size(), 6);
        EXPECT_EQ(s.rows[3][1], QStringLiteral("3000,5"));
        EXPECT_EQ(s.rows[4][1], QStringLiteral("0,02"));
        EXPECT_EQ(s.rows[5][2], c.written ? QStringLiteral("-20,3") : QStringLiteral("—"));
        EXPECT_EQ(s.rows[0][2], c.written ? QStringLiteral("20,1") : QStringLiteral("—"));
        EXPECT_EQ(s.checks.size(), c.fits ? 2 : 0);
        if (c.fits) {
            EXPECT_EQ(s.checks[1][4], QString::fromUtf8(c.error));
            EXPECT_EQ(s.checks[1][5], *c.fits ? QStringLiteral("годен") : QStringLiteral("не годен"));
            EXPECT_EQ(s.checkUnfit[1], !*c.fits);
        }
    }
    EXPECT_TRUE(RunResultText::AdjustmentSections(RunRecord{}).isEmpty()) << "a run without them shows none";
}

} // namespace

// The thermometer's and the zero's points wait for the same confirmation as the table,
// and the page shows what will be written, then the table again in full.
TEST_F(Prompt, TwoPointWritesAreShownForConfirmationLikeTheTable)
{
    const struct
    {
        CalibrationArea area;
        const char *valueHeading;
    } cases[] = {{CalibrationArea::Thermometer, "Код АЦП"}, {CalibrationArea::Zero, "Δt, нс"}};
    for (const auto &c : cases) {
        emit run.twoPointReady(c.area, TwoPointSave::Points{20.0f, 2999.9f, 60.0f, 3999.8f});
        ASSERT_TRUE(page.Panel_Table->isVisible());
        ASSERT_EQ(page.Table_Write->rowCount(), 2);
        EXPECT_EQ(page.Table_Write->horizontalHeaderItem(1)->text(), QString::fromUtf8(c.valueHeading));
        EXPECT_EQ(page.Table_Write->item(1, 0)->text(), RunResultText::Fixed3(60.0));
        EXPECT_TRUE(page.Label_Table->text().contains(QString::fromUtf8(AreaSpecOf(c.area).title)));
    }
    emit run.tableReady(FlowTableSave::Values{});
    EXPECT_EQ(page.Table_Write->rowCount(), FlowTable::Points);
    EXPECT_EQ(page.Table_Write->horizontalHeaderItem(0)->text(), QStringLiteral("Эталон, кг/ч"));
}
