// The plan page's reference meter: its due date refuses or warns before the start, and
// its certificate's U, k and ν go into the run's options and come back in the next window;
// so do the certificate's laboratory, customer and signatory. The plan's choices (decision
// rule, zero check) and counts of runs go from their cells into the run's plan.
#include "gui/meter_rig.h"
#include "procedure/reference_check.h"
#include "records/calibration_records.h"
#include "ui/run/form_calibration_run.h"
#include "records/certificate_parties.h"
#include "ui/run/run_plan_page.h"
#include "ui/run/run_plan_parties_group.h"
#include "ui/run/run_plan_reference_group.h"
#include "ui/run/run_plan_settings_table.h"
#include "ui/run/run_result_page.h"
#include "support/locale_guard.h"
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Nothing of one test's reference is offered to the next (the run window tests among them).
struct ForgetReference
{
    ForgetReference() { forget(); }
    ~ForgetReference() { forget(); }
    static void forget()
    {
        QSettings s(QStringLiteral("Velnor"), QStringLiteral("KestroLink"));
        for (const char *key : {"reference_name", "reference_certificate", "reference_due_date",
                                "reference_uncertainty_percent", "reference_coverage_factor", "reference_dof"})
            s.remove(QStringLiteral("run/") + QLatin1String(key));
    }
};

std::unique_ptr<TRunPlanPage> planPage()
{
    auto page = std::make_unique<TRunPlanPage>(RunWindowSetup{});
    page->Edit_Serial->setText(QStringLiteral("R-1"));
    page->Edit_Operator->setText(QStringLiteral("Петров"));
    return page;
}

struct Due
{
    const char *name;
    int daysLeft;
    bool refused;
    bool warned;
};
const Due Dues[] = {
    {"lapsed ten days ago", -10, true, true},
    {"lapsed yesterday", -1, true, true},
    {"last day today", 0, false, true},
    {"due in ten days", 10, false, true},
    {"due in thirty days", ReferenceDueSoonDays, false, true},
    {"in date", ReferenceDueSoonDays + 1, false, false},
};

TEST(RunReference, ADueDateBehindTodayRefusesTheStartOneNearWarns)
{
    ForgetReference forget;
    for (const Due &d : Dues) {
        SCOPED_TRACE(d.name);
        QTemporaryDir dir;
        MeterRig sim;
        ASSERT_TRUE(sim.started);
        ASSERT_TRUE(sim.connect());
        auto store = std::make_unique<TRecordStore>(dir.filePath(QStringLiteral("s.sqlite")));
        ASSERT_TRUE(store->open());
        TCalibrationRecords records(*sim.dm, std::move(store));
        auto form = std::make_unique<TFormCalibrationRun>(*sim.dm, records);
        form->show();
        TRunPlanPage *page = form->Page_Plan;
        page->ComboBox_Rig->setCurrentIndex(page->ComboBox_Rig->findData(QStringLiteral("operator")));
        page->Edit_Serial->setText(QStringLiteral("R-1"));
        page->Edit_Operator->setText(QStringLiteral("Петров"));
        const QDate due = QDate::currentDate().addDays(d.daysLeft);
        page->Group_Reference->Date_RefDue->setDate(due);
        const QString message = ReferenceDueCheck(due, QDate::currentDate()).message;
        QLabel *warning = page->Group_Reference->Label_RefDue;
        EXPECT_EQ(warning->isVisible(), d.warned);
        if (d.warned) {
            EXPECT_EQ(warning->text(), message);
        }

        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.dm->pacer().waiting() == 0; }, 5000));
        QTest::qWait(100);
        sim.server.clearReceived();
        page->Button_Start->click();
        if (d.refused) {
            EXPECT_TRUE(page->Label_PlanError->text().startsWith(message)) << page->Label_PlanError->text().toStdString();
            QTest::qWait(300);
            EXPECT_EQ(form->run(), nullptr);
            EXPECT_TRUE(sim.frames().isEmpty());
            EXPECT_EQ(form->Pages->currentWidget(), page);
            EXPECT_TRUE(page->Button_Start->isEnabled());
            continue;
        }
        ASSERT_TRUE(EventuallyTrue([&] { return form->run() != nullptr; }, 20000))
            << page->Label_PlanError->text().toStdString();
        EXPECT_FALSE(page->Label_PlanError->text().contains(message));
        form->run()->abort();
        EXPECT_TRUE(Eventually([&] { return form->Pages->currentWidget(); },
                               static_cast<QWidget *>(form->Page_Result), 20000));
    }
}

// As typed, and what the options carry; empty follows a number, so a stale one shows.
struct Figures
{
    const char *u, *k, *dof;
    std::optional<double> uncertainty;
    double coverage;
    std::optional<double> dofValue;
};
const Figures Typed[] = {
    {"0,05", "2", "", 0.05, 2.0, std::nullopt},
    {"0.2", "1,96", "12", 0.2, 1.96, 12.0},
    {"", "3", "50,5", std::nullopt, 3.0, 50.5},
    {"0", "1", "", 0.0, 1.0, std::nullopt},
};

TEST(RunReference, UncertaintyFiguresFillTheOptionsAndComeBackInTheNextWindow)
{
    ForgetReference forget;
    LocaleGuard russian(LocaleGuard::comma());
    {
        // Nothing remembered: k as certificates mostly state it, U not stated, ν infinite.
        QString error;
        const std::optional<RunOptions> fresh = planPage()->runOptions(&error);
        ASSERT_TRUE(fresh) << error.toStdString();
        EXPECT_EQ(fresh->referenceUncertaintyPercent, std::nullopt);
        EXPECT_DOUBLE_EQ(fresh->referenceCoverageFactor, 2.0);
        EXPECT_EQ(fresh->referenceDegreesOfFreedom, std::nullopt);
    }
    for (const Figures &f : Typed) {
        SCOPED_TRACE(std::string(f.u) + " " + f.k + " " + f.dof);
        const QDate due = QDate::currentDate().addDays(100);
        {
            auto page = planPage();
            TRunPlanReferenceGroup *g = page->Group_Reference;
            g->Edit_RefUncertainty->setText(QString::fromUtf8(f.u));
            g->Edit_RefCoverage->setText(QString::fromUtf8(f.k));
            g->Edit_RefDof->setText(QString::fromUtf8(f.dof));
            g->Edit_RefName->setText(QStringLiteral("ЭР-100 №7"));
            g->Date_RefDue->setDate(due);
            QString error;
            const std::optional<RunOptions> options = page->runOptions(&error);
            ASSERT_TRUE(options) << error.toStdString();
            EXPECT_EQ(options->referenceUncertaintyPercent, f.uncertainty);
            EXPECT_DOUBLE_EQ(options->referenceCoverageFactor, f.coverage);
            EXPECT_EQ(options->referenceDegreesOfFreedom, f.dofValue);
            EXPECT_EQ(options->referenceName, QStringLiteral("ЭР-100 №7"));
            EXPECT_EQ(options->referenceDueDate, due);
            page->remember();
        }
        auto next = planPage();
        QString error;
        const std::optional<RunOptions> again = next->runOptions(&error);
        ASSERT_TRUE(again) << error.toStdString();
        EXPECT_EQ(again->referenceUncertaintyPercent, f.uncertainty);
        EXPECT_DOUBLE_EQ(again->referenceCoverageFactor, f.coverage);
        EXPECT_EQ(again->referenceDegreesOfFreedom, f.dofValue);
        EXPECT_EQ(again->referenceDueDate, due);
        EXPECT_EQ(next->Group_Reference->Edit_RefUncertainty->text(),
                  QString::fromUtf8(f.u).replace(QLatin1Char('.'), QLatin1Char(',')));
    }
}

struct Bad
{
    const char *control;
    const char *text;
};
const Bad BadFigures[] = {
    {"Edit_RefCoverage", "0,5"}, {"Edit_RefCoverage", "11"}, {"Edit_RefCoverage", "два"},
    {"Edit_RefCoverage", ""},    {"Edit_RefUncertainty", "-0,1"}, {"Edit_RefUncertainty", "12"},
    {"Edit_RefDof", "0"},        {"Edit_RefDof", "1о"},
};

TEST(RunReference, AFigureOutOfItsRangeRefusesTheStartNamingIt)
{
    ForgetReference forget;
    for (const Bad &b : BadFigures) {
        SCOPED_TRACE(std::string(b.control) + " " + b.text);
        auto page = planPage();
        auto *edit = page->findChild<QLineEdit *>(QLatin1String(b.control));
        ASSERT_NE(edit, nullptr);
        edit->setText(QString::fromUtf8(b.text));
        QString error;
        EXPECT_FALSE(page->runOptions(&error));
        EXPECT_TRUE(error.startsWith(edit->accessibleName())) << error.toStdString();
        EXPECT_FALSE(edit->styleSheet().isEmpty());
        // Put right, the same page starts and the mark is gone.
        edit->setText(b.control == std::string("Edit_RefCoverage") ? QStringLiteral("2") : QString());
        EXPECT_TRUE(page->runOptions(&error)) << error.toStdString();
        EXPECT_TRUE(edit->styleSheet().isEmpty());
    }
}

TEST(RunParties, TypedPartiesFillTheOptionsComeBackAndABlankOneIsForgotten)
{
    SaveCertificateParties({});
    const CertificateParties typed{"Лаборатория №2", "Казань, ул. Садовая, 1", "", "", "Петрова А. В.",
                                   "начальник лаборатории"};
    {
        auto page = planPage();
        const QList<CertificatePartyField> &fields = CertificatePartyFields();
        for (int i = 0; i < fields.size(); ++i)
            page->Group_Parties->edits()[i]->setText("  " + typed.*fields[i].member + " ");
        QString error;
        const std::optional<RunOptions> options = page->runOptions(&error);
        ASSERT_TRUE(options) << error.toStdString();
        for (const CertificatePartyField &f : fields)
            EXPECT_EQ(options->parties.*f.member, typed.*f.member) << f.key;
        page->remember();
    }
    {
        auto next = planPage();
        EXPECT_EQ(next->Group_Parties->Edit_Signatory->text(), typed.signatoryName);
        EXPECT_EQ(next->Group_Parties->Edit_LaboratoryAddress->text(), typed.laboratoryAddress);
        // A control character is refused in place; cleared, the laboratory is forgotten.
        next->Group_Parties->Edit_Laboratory->setText(QStringLiteral("Лаб\t2"));
        QString error;
        EXPECT_FALSE(next->runOptions(&error));
        EXPECT_TRUE(error.startsWith(next->Group_Parties->Edit_Laboratory->accessibleName())) << error.toStdString();
        next->Group_Parties->Edit_Laboratory->clear();
        ASSERT_TRUE(next->runOptions(&error)) << error.toStdString();
        next->remember();
    }
    EXPECT_TRUE(LoadCertificateParties().laboratoryName.isEmpty());
    EXPECT_EQ(LoadCertificateParties().signatoryRole, typed.signatoryRole);
    SaveCertificateParties({});
}

struct Choice
{
    const char *rule, *zeroCheck;
    const char *runs, *maxRuns;
    RunPlan::ZeroCheckMode mode;
};
const Choice Choices[] = {
    {"guarded", "stop", "2", "4", RunPlan::ZeroCheckMode::Stop},
    {"simple", "off", "1", "1", RunPlan::ZeroCheckMode::Off},
    {"guarded", "report", "10", "20", RunPlan::ZeroCheckMode::Report},
};

TEST(RunPlanSettings, ChoicesAndRunCountsGoIntoThePlanAndComeBackShown)
{
    for (const Choice &c : Choices) {
        SCOPED_TRACE(std::string(c.rule) + " " + c.zeroCheck + " " + c.runs);
        auto page = planPage();
        TRunPlanSettingsTable *t = page->Table_Settings;
        t->ComboBox_DecisionRule->setCurrentIndex(t->ComboBox_DecisionRule->findData(QLatin1String(c.rule)));
        t->ComboBox_ZeroCheck->setCurrentIndex(t->ComboBox_ZeroCheck->findData(QLatin1String(c.zeroCheck)));
        t->cellOf(QStringLiteral("runs_per_point"))->setText(QLatin1String(c.runs));
        t->cellOf(QStringLiteral("max_runs_per_point"))->setText(QLatin1String(c.maxRuns));
        QString error;
        const std::optional<RunOptions> options = page->runOptions(&error);
        ASSERT_TRUE(options) << error.toStdString();
        EXPECT_EQ(options->plan.decisionRule, QLatin1String(c.rule));
        EXPECT_EQ(options->plan.zeroCheck, c.mode);
        EXPECT_EQ(options->plan.runsPerPoint, QByteArray(c.runs).toInt());
        EXPECT_EQ(options->plan.maxRunsPerPoint, QByteArray(c.maxRuns).toInt());
        // Shown again from a plan, as a loaded file shows it.
        TRunPlanSettingsTable other;
        other.showPlan(options->plan);
        EXPECT_EQ(other.ComboBox_DecisionRule->currentData().toString(), QLatin1String(c.rule));
        EXPECT_EQ(other.ComboBox_ZeroCheck->currentData().toString(), QLatin1String(c.zeroCheck));
        EXPECT_EQ(other.cellOf(QStringLiteral("runs_per_point"))->text(), QLatin1String(c.runs));
    }
}

} // namespace
