// The step-by-step calibration window driving real runs: the demo meter with its
// built-in rig, the simulated meter with its rig over Modbus TCP, the operator rig.
#include "records/record_store.h"
#include "app/demo_meter.h"
#include "app/demo_rig.h"
#include "gui/meter_rig.h"
#include "link/meter_ownership.h"
#include "procedure/run_plan.h"
#include "records/calibration_reader.h"
#include "records/calibration_records.h"
#include "sim/rig_modbus_server.h"
#include "ui/calibration/form_kalibrovka.h"
#include "ui/calibration/tab_flow.h"
#include "ui/calibration/tab_poverka.h"
#include "ui/common/tool_bar.h"
#include "ui/records/dialog_restore.h"
#include "ui/run/form_calibration_run.h"
#include "protocol/flow_table.h"
#include "report/run_result_text.h"
#include "ui/result/run_result_view.h"
#include "ui/run/run_plan_page.h"
#include "ui/run/run_plan_settings_table.h"
#include "ui/run/run_progress_page.h"
#include "ui/run/run_result_page.h"
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalSpy>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

constexpr double TimeScale = 25.0;
constexpr int RunMs = 100000;

using State = TFormCalibrationRun::PointState;

SimOptions scaled()
{
    SimOptions o;
    o.timeScale = TimeScale;
    return o;
}

class RunWindow : public testing::Test
{
protected:
    void TearDown() override
    {
        delete form.data();
        delete kalibr.data();
        records.reset();
        modbus.reset();
        demoDm.reset();
        sim.reset();
        demo.reset();
    }

    // The simulated meter in this thread, its rig served over Modbus TCP.
    void openOnSim(const SimOptions &options = scaled(), const QString &serial = {})
    {
        sim = std::make_unique<MeterRig>(options, serial);
        ASSERT_TRUE(sim->started);
        ASSERT_TRUE(sim->connect());
        modbus = std::make_unique<RigModbusServer>(&sim->server);
        ASSERT_TRUE(modbus->listen(0));
        openWindow(*sim->dm, {});
        choose(QStringLiteral("sim"));
        form->Page_Plan->Edit_RigAddress->setText(QStringLiteral("127.0.0.1:%1").arg(modbus->port()));
        form->Page_Plan->Edit_TimeScale->setText(QString::number(TimeScale));
    }

    void openWindow(TDM_1 &dm, const RunWindowSetup &setup)
    {
        auto store = std::make_unique<TRecordStore>(dir.filePath(QStringLiteral("s.sqlite")));
        ASSERT_TRUE(store->open());
        records = std::make_unique<TCalibrationRecords>(dm, std::move(store));
        form = new TFormCalibrationRun(dm, *records, setup);
        form->show();
        RunPlan plan = RunPlanFile::Default();
        plan.name = QStringLiteral("короткий");
        plan.thermometerPhase = plan.zeroPhase = false;
        plan.runsPerPoint = 1;
        plan.zeroCheck = RunPlan::ZeroCheckMode::Off;
        plan.verificationPercent = {100};
        plan.averagingSeconds = 3;
        plan.samplePeriodSeconds = 1;
        plan.stabilityWindowSeconds = 3;
        plan.settleTimeoutSeconds = 120;
        QFile file(dir.filePath(QStringLiteral("plan.json")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(RunPlanFile::ToJson(plan)).toJson());
        file.close();
        ASSERT_TRUE(form->loadPlan(file.fileName())) << form->Page_Plan->Label_PlanError->text().toStdString();
        form->Page_Plan->Edit_Serial->setText(QStringLiteral("SIM-7"));
        form->Page_Plan->Edit_Operator->setText(QStringLiteral("Петров"));
    }

    void choose(const QString &rig) { form->Page_Plan->ComboBox_Rig->setCurrentIndex(form->Page_Plan->ComboBox_Rig->findData(rig)); }

    void start()
    {
        form->Page_Plan->Button_Start->click();
        ASSERT_TRUE(EventuallyTrue([this] { return form->run() != nullptr; }, 20000))
            << form->Page_Plan->Label_PlanError->text().toStdString();
    }
    testing::AssertionResult runState(RunState s, int ms = RunMs)
    {
        return Eventually([this] { return form->run()->state(); }, s, ms);
    }
    testing::AssertionResult onResultPage()
    {
        return Eventually([this] { return form->Pages->currentWidget(); }, form->Page_Result, RunMs);
    }
    QVector<quint16> params() const
    {
        QVector<quint16> p;
        for (int reg = 2; reg <= MeterModel::ParamRegisters; ++reg)
            p << sim->server.model().paramWord(reg);
        return p;
    }
    void writeTable()
    {
        ASSERT_TRUE(EventuallyTrue([this] { return form->Page_Run->Panel_Table->isVisible(); }, RunMs));
        for (int row = 0; row < form->Page_Run->Table_Write->rowCount(); ++row)
            ASSERT_TRUE(form->Page_Run->Table_Write->item(row, 1) && !form->Page_Run->Table_Write->item(row, 1)->text().isEmpty()) << row;
        form->Page_Run->Button_WriteTable->click();
    }

    std::unique_ptr<DemoMeter> demo;
    std::unique_ptr<MeterRig> sim;
    std::unique_ptr<RigModbusServer> modbus;
    std::unique_ptr<TDM_1> demoDm;
    QTemporaryDir dir;
    std::unique_ptr<TCalibrationRecords> records;
    QPointer<TForm_Kalibrovka> kalibr;
    QPointer<TFormCalibrationRun> form;
};

TEST_F(RunWindow, DemoRigRunEndsFitWhileTheCalibrationWindowStandsDown)
{
    RecordingPresenter boxes;
    ScopedMessagePresenter scope(boxes);
    demo = std::make_unique<DemoMeter>(scaled());
    ASSERT_TRUE(demo->start());
    demoDm = std::make_unique<TDM_1>(std::make_unique<CandidatePorts>(
        QList<VirtualPort>{{demo->devicePath(), DemoMeter::Description}}, nullptr));
    demoDm->findDevicePort();
    ASSERT_TRUE(demoDm->isPortOpen());
    RunWindowSetup setup;
    setup.builtInRigs.append({QStringLiteral("Встроенный стенд демонстрации"),
                              [this](QObject *parent) -> std::unique_ptr<TRig> {
                                  return std::make_unique<TDemoRig>(*demo, parent);
                              },
                              TimeScale});
    openWindow(*demoDm, setup);
    choose(QStringLiteral("builtin:0"));
    kalibr = new TForm_Kalibrovka(*demoDm);
    const QList<QWidget *> stoodDown = {kalibr->TabSheet3->Button_Start_Rashod_kalibr, kalibr->TabSheet3->Button14,
                                        kalibr->TabSheet4->Button2, kalibr->TabSheet4->Button11,
                                        kalibr->ToolButton_Kf_Recalc};
    QStringList tips;
    for (QWidget *w : stoodDown)
        tips << w->toolTip();

    start();
    ASSERT_TRUE(runState(RunState::Settling));
    for (QWidget *w : stoodDown) {
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_TRUE(w->toolTip().startsWith(QStringLiteral("Идёт калибровка по шагам: "))) << w->objectName().toStdString();
    }
    writeTable();
    ASSERT_TRUE(onResultPage());

    const RunRecord &r = form->Page_Result->View_Result->run();
    ASSERT_EQ(r.end, RunEnd::Completed) << r.endReason.toStdString();
    EXPECT_EQ(r.asLeftFit, true);
    EXPECT_EQ(r.operatorName, QStringLiteral("Петров"));
    // The certificate as issued is kept with the records, its PDF and DCC both.
    const std::optional<IssuedCertificate> issued = records->store().certificateOfRun(r.uuid);
    ASSERT_TRUE(issued);
    EXPECT_TRUE(issued->pdf.startsWith("%PDF"));
    EXPECT_TRUE(issued->dcc.contains("digitalCalibrationCertificate"));
    for (RunPhase phase : {RunPhase::AsFound, RunPhase::Calibration, RunPhase::AsLeft})
        for (int i = 1; i <= r.pointsOf(phase).size(); ++i)
            EXPECT_EQ(form->pointState(phase, i), State::Done) << PhaseKey(phase).toStdString() << i;
    EXPECT_FALSE(TMeterOwnership::of(*demoDm).isOwned());
    for (int i = 0; i < stoodDown.size(); ++i) {
        EXPECT_TRUE(stoodDown[i]->isEnabled());
        EXPECT_EQ(stoodDown[i]->toolTip(), tips[i]);
    }
}

TEST_F(RunWindow, PausedRunWaitsAndResumesThenAbortsBeforeTheWriteLeavingTheMeter)
{
    openOnSim();
    const QVector<quint16> before = params();
    start();
    ASSERT_TRUE(runState(RunState::Averaging));
    form->Page_Run->Button_Pause->click();
    ASSERT_TRUE(runState(RunState::Paused, 20000));
    EXPECT_TRUE(form->Page_Run->Button_Resume->isEnabled());
    EXPECT_FALSE(form->Page_Run->Button_Pause->isEnabled());
    const int done = form->Page_Run->Progress_Run->value();
    QTest::qWait(1000); // 25 simulated seconds: several points' worth, were it running
    EXPECT_EQ(form->Page_Run->Progress_Run->value(), done);

    form->Page_Run->Button_Resume->click();
    ASSERT_TRUE(EventuallyTrue([&] { return form->Page_Run->Progress_Run->value() > done; }, RunMs));
    form->Page_Run->Button_Abort->click();
    ASSERT_TRUE(onResultPage());
    EXPECT_EQ(form->Page_Result->View_Result->run().end, RunEnd::Aborted);
    EXPECT_EQ(form->pointState(RunPhase::AsLeft, 1), State::Skipped);
    EXPECT_EQ(params(), before);
}

TEST_F(RunWindow, AbortAfterTheWriteThenTheResultPageRestoresTheMeterBitForBit)
{
    openOnSim();
    const QVector<quint16> before = params();
    start();
    writeTable();
    ASSERT_TRUE(EventuallyTrue([this] { return form->pointState(RunPhase::AsLeft, 1) != State::Waiting; }, RunMs));
    form->Page_Run->Button_Abort->click();
    ASSERT_TRUE(onResultPage());
    const RunRecord run = form->Page_Result->View_Result->run();
    ASSERT_EQ(run.end, RunEnd::Aborted);
    ASSERT_TRUE(run.writtenTable);
    ASSERT_NE(params(), before);

    WhenDialogShows([](QDialog *dialog) { dialog->accept(); });
    emit form->Page_Result->View_Result->restoreRequested(run.snapshotBeforeId);
    EXPECT_TRUE(Eventually([this] { return params(); }, before, 60000));
    EXPECT_TRUE(EventuallyTrue([this] { return !TMeterOwnership::of(*sim->dm).isOwned(); }, 20000))
        << form->Page_Result->Label_Restore->text().toStdString();
}

// The result page restores through the history's own flow: a snapshot of another
// meter is written only after the engineer says yes.
TEST_F(RunWindow, TheResultPageRestoresAnotherMetersSnapshotOnlyAfterYes)
{
    openOnSim(scaled(), QStringLiteral("SN-HERE"));
    TCalibrationReader reader(*sim->dm, 2000);
    QSignalSpy read(&reader, &TCalibrationReader::finished);
    reader.start(AllCalibrationAreas());
    ASSERT_TRUE(read.wait(20000));
    Snapshot elsewhere = reader.snapshot(SnapshotReason::ManualBackup);
    elsewhere.meterSerial = QStringLiteral("SN-ELSEWHERE");
    const qint64 id = records->store().add(elsewhere);
    ASSERT_NE(id, 0);

    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        SCOPED_TRACE(answer == QMessageBox::Yes ? "Да" : "Нет");
        sim->boxes.requests.clear();
        sim->boxes.setAnswer(answer);
        const qsizetype snapshotsBefore = records->store().list().size();
        WhenDialogShows([](QDialog *d) { qobject_cast<TDialog_Restore *>(d)->Buttons->button(QDialogButtonBox::Ok)->click(); });
        form->Page_Result->restoreSnapshot(id);
        ASSERT_TRUE(EventuallyTrue([&] { return !sim->boxes.requests.isEmpty(); }, 20000))
            << form->Page_Result->Label_Restore->text().toStdString();
        EXPECT_TRUE(sim->boxes.requests.first().text.contains(
            QStringLiteral("Снимок №%1 снят с другого прибора (серийный номер SN-ELSEWHERE), подключён прибор с номером "
                           "SN-HERE. Восстановить его в этот прибор?")
                .arg(id)))
            << sim->boxes.requests.first().text.toStdString();
        EXPECT_EQ(sim->boxes.requests.first().defaultButton, QMessageBox::No);
        if (answer == QMessageBox::Yes) {
            EXPECT_TRUE(Eventually([this] { return form->Page_Result->Label_Restore->text(); }, QStringLiteral("восстановлено"),
                                   60000));
        } else {
            EXPECT_EQ(form->Page_Result->Label_Restore->text(), QStringLiteral("Восстановление отменено"));
            EXPECT_EQ(records->store().list().size(), snapshotsBefore) << "no way back taken: nothing to write";
        }
        EXPECT_TRUE(EventuallyTrue([this] { return !TMeterOwnership::of(*sim->dm).isOwned(); }, 20000));
    }
}

TEST_F(RunWindow, OperatorPromptsAreAnsweredInTheWindow)
{
    // An operator works in real time, and so does the meter then (its averaging time must
    // match the run's interval); the rig takes the flow at once to keep the test short.
    SimOptions realTime;
    realTime.physics.rigLagSeconds = 0;
    openOnSim(realTime);
    choose(QStringLiteral("operator"));
    start();
    // The operator sets the rig to the flow asked.
    ASSERT_TRUE(EventuallyTrue([this] { return form->Page_Run->Panel_Operator->isVisible(); }, RunMs));
    EXPECT_FALSE(form->Page_Run->Edit_OperatorReference->isVisible());
    QTreeWidgetItem *asFound = nullptr;
    for (int i = 0; i < form->Page_Run->Tree_Points->topLevelItemCount(); ++i) {
        if (form->Page_Run->Tree_Points->topLevelItem(i)->data(0, Qt::UserRole).toInt() == int(RunPhase::AsFound))
            asFound = form->Page_Run->Tree_Points->topLevelItem(i);
    }
    ASSERT_TRUE(asFound);
    const double target = asFound->child(0)->text(1).toDouble();
    ASSERT_GT(target, 0.0);
    sim->server.model().setRigSetpoint(target);
    form->Page_Run->Button_OperatorDone->click();
    EXPECT_FALSE(form->Page_Run->Panel_Operator->isVisible());

    // Then types the reference reading; a typo is refused in place.
    ASSERT_TRUE(EventuallyTrue([this] { return form->Page_Run->Edit_OperatorReference->isVisible(); }, RunMs));
    form->Page_Run->Edit_OperatorReference->setText(QStringLiteral("98о"));
    form->Page_Run->Button_OperatorDone->click();
    EXPECT_TRUE(form->Page_Run->Panel_Operator->isVisible());
    EXPECT_EQ(form->run()->state(), RunState::WaitingForOperator);
    form->Page_Run->Edit_OperatorReference->setText(QStringLiteral("987,5"));
    form->Page_Run->Button_OperatorDone->click();
    ASSERT_TRUE(EventuallyTrue([this] { return !form->run()->record().points.isEmpty(); }, 20000));
    EXPECT_EQ(form->run()->record().points.first().referenceFlow, 987.5);
    EXPECT_EQ(form->pointState(RunPhase::AsFound, 1), State::Done);
    form->Page_Run->Button_Abort->click();
    EXPECT_TRUE(onResultPage());
}

// Q Max comes from the meter once it answers, whether the port was open before the
// window or opened after it, and the plan's flows follow from it.
TEST_F(RunWindow, ThePlanPageReadsQMaxWhenTheMeterAnswers)
{
    for (const bool openFirst : {true, false}) {
        SCOPED_TRACE(openFirst ? "port open before the window" : "port opened after");
        TearDown();
        sim = std::make_unique<MeterRig>(scaled());
        ASSERT_TRUE(sim->started);
        if (openFirst) {
            ASSERT_TRUE(sim->connect());
        }
        openWindow(*sim->dm, {});
        if (!openFirst) {
            EXPECT_EQ(form->Page_Plan->Label_QMax->text(), QStringLiteral("неизвестен: прибор не подключен"));
            ASSERT_TRUE(sim->connect());
        }
        const float qMax = sim->server.model().paramFloat(FlowTable::TableRegister);
        ASSERT_GT(qMax, 0.0f);
        EXPECT_TRUE(Eventually([this] { return form->meterQMax(); }, qMax, 10000))
            << form->Page_Plan->Label_QMax->text().toStdString();
        EXPECT_EQ(form->Page_Plan->Label_QMax->text(), QStringLiteral("%1 кг/ч").arg(RunResultText::Fixed3(qMax)));
        // The plan's one verification point is 100 % of Q Max.
        EXPECT_EQ(form->Page_Plan->Table_Points->item(0, 2)->text(), RunResultText::Fixed3(qMax));
    }
}

TEST_F(RunWindow, BadPlanCellRefusesTheStartAndSendsNothing)
{
    openOnSim();
    // A point by its row, a setting by its plan field.
    const struct
    {
        int row;
        const char *text;
        const char *field;
    } cases[] = {
        {0, "сто", "verification_percent[0]"},
        {1 + 4, "150", "calibration_percent[4]"},
        {1 + 6, "-80", "calibration_percent[6]"}, // below the point before it
        {-1, "0", "averaging_seconds"},
        {-1, "2,5", "runs_per_point"},
        {-1, "0", "max_runs_per_point"}, // fewer than the runs
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.field);
        ASSERT_TRUE(form->loadPlan(dir.filePath(QStringLiteral("plan.json"))));
        QTableWidgetItem *item = c.row >= 0 ? form->Page_Plan->Table_Points->item(c.row, 1)
                                            : form->Page_Plan->Table_Settings->cellOf(QLatin1String(c.field));
        ASSERT_NE(item, nullptr);
        item->setText(QString::fromUtf8(c.text));
        ASSERT_TRUE(QTest::qWaitFor([&] { return sim->dm->pacer().waiting() == 0; }, 5000));
        QTest::qWait(100);
        sim->server.clearReceived();
        form->Page_Plan->Button_Start->click();
        EXPECT_TRUE(form->Page_Plan->Label_PlanError->text().contains(QLatin1String(c.field)))
            << form->Page_Plan->Label_PlanError->text().toStdString();
        EXPECT_TRUE(item->toolTip().startsWith(QLatin1String(c.field))) << item->toolTip().toStdString();
        EXPECT_TRUE(item->data(Qt::BackgroundRole).isValid());
        EXPECT_EQ(form->run(), nullptr);
        QTest::qWait(300);
        EXPECT_TRUE(sim->frames().isEmpty());
        EXPECT_EQ(form->Pages->currentWidget(), form->Page_Plan);
    }
}

} // namespace
