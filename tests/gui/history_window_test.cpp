// The history window against the simulated meter: a flow table ruined by a save
// comes back from the snapshot taken before it; backups, files and failures.
#include "gui/kalibr_records_fixture.h"
#include "records/calibration_records.h"
#include "support/full_disk.h"
#include "ui/records/backup_action.h"
#include "ui/records/dialog_restore.h"
#include "ui/records/form_history.h"
#include "ui/records/unfinished_restore_panel.h"
#include "records/calibration_reader.h"
#include "ui/common/tool_bar.h"
#include "ui/main/form_main.h"
#include <QCheckBox>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cerrno>

namespace {

class HistoryWindow : public KalibrWindowWithRecords
{
protected:
    QVector<quint16> flowTable()
    {
        QVector<quint16> regs;
        for (int r = 21; r <= 74; ++r)
            regs << rig.server.model().paramWord(r);
        return regs;
    }
    TForm_History *history()
    {
        form->ToolButton_History->click();
        return form->findChild<TForm_History *>();
    }

};

} // namespace

TEST_F(HistoryWindow, ARuinedFlowTableComesBackFromTheSnapshotBeforeTheSave)
{
    TTabRashodKalibr *flow = form->TabSheet3;
    flow->Button_read_Rashod_Kf->click();
    ASSERT_TRUE(EventuallyTrue([&] { return !flow->Edit_Q_Pribor[12]->text().isEmpty(); }));
    const QVector<quint16> original = flowTable();
    flow->Edit_Q_Max->setText("1");
    flow->Button_save_Rashod_Kf->click();
    ASSERT_TRUE(EventuallyTrue([&] { return rig.server.model().paramFloat(21) == 1.0f; }, 4000));

    TForm_History *window = history();
    ASSERT_TRUE(window);
    ASSERT_EQ(window->snapshots().size(), 1);
    EXPECT_EQ(window->Grid_Snapshots->item(0, 2)->text(), "перед сохранением расхода");
    EXPECT_EQ(window->Grid_Snapshots->item(0, 4)->text(), "Калибровка расхода");
    window->selectSnapshot(window->snapshots().first().id);

    window->Button_CompareMeter->click();
    ASSERT_TRUE(EventuallyTrue([&] { return window->Tree_Compare->topLevelItemCount() == 1; }, 4000));
    QTreeWidgetItem *area = window->Tree_Compare->topLevelItem(0);
    EXPECT_EQ(area->text(1), "есть отличия");
    EXPECT_TRUE(area->isExpanded());
    EXPECT_EQ(area->child(0)->text(0), "Q Max (параметры 21–22) ≠");
    EXPECT_EQ(area->child(0)->text(2), "1");

    const QString shownBeforeRestore = flow->Edit_Q_Max->text();
    QSignalSpy finished(window, &TForm_History::restoreFinished);
    WhenDialogShows([](QDialog *d) {
        auto *restore = qobject_cast<TDialog_Restore *>(d);
        ASSERT_TRUE(restore);
        EXPECT_FALSE(restore->CheckBoxes.value(CalibrationArea::Density)->isEnabled()) << "not in the snapshot";
        EXPECT_TRUE(restore->Memo_Differences->toPlainText().contains("Калибровка расхода, Q Max (параметры 21–22): 1 → 1000"))
            << restore->Memo_Differences->toPlainText().toStdString();
        EXPECT_TRUE(restore->Buttons->button(QDialogButtonBox::Cancel)->isDefault()) << "Enter must not start a restore";
        restore->Buttons->button(QDialogButtonBox::Ok)->click();
    });
    window->Button_RestoreClick();
    ASSERT_TRUE(finished.wait(15000));
    EXPECT_EQ(finished.first().first().toString(), "восстановлено");
    EXPECT_EQ(window->Label_Result->text(), "восстановлено");
    EXPECT_EQ(flowTable(), original);
    // The tabs are not refilled behind the engineer's back; the status bar says why they differ.
    EXPECT_EQ(flow->Edit_Q_Max->text(), shownBeforeRestore);
    EXPECT_TRUE(form->StatusBar1->panelText(0).contains("Калибровка восстановлена из снимка"))
        << form->StatusBar1->panelText(0).toStdString();
    ASSERT_EQ(window->snapshots().size(), 2);
    EXPECT_EQ(window->snapshots().first().reason, SnapshotReason::BeforeRestore);
    EXPECT_EQ(window->snapshots().first().areas.value(CalibrationArea::FlowTable).mid(0, 2),
              TCalibrationRecords::FloatRegisters({1.0f}));
}

TEST_F(HistoryWindow, BackupExportImportAndABadFile)
{
    TBackupAction backup(*rig.dm, *records, form);
    QSignalSpy done(&backup, &TBackupAction::done);
    backup.startWithNote("после поверки");
    ASSERT_TRUE(done.wait(5000));
    const qint64 id = done.first().first().toLongLong();
    ASSERT_NE(id, 0) << done.first().last().toString().toStdString();
    const std::optional<Snapshot> kept = records->store().get(id);
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->note, "после поверки");
    EXPECT_EQ(kept->areas.keys(), AllCalibrationAreas());

    TForm_History *window = history();
    ASSERT_TRUE(window);
    window->selectSnapshot(id);
    ASSERT_TRUE(window->exportTo(dir.filePath("a.json")));
    ASSERT_TRUE(window->importFrom(dir.filePath("a.json")));
    ASSERT_EQ(window->snapshots().size(), 2);
    EXPECT_EQ(window->snapshots().first().areas, kept->areas);

    QFile bad(dir.filePath("bad.json"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("[1, 2");
    bad.close();
    rig.boxes.requests.clear();
    EXPECT_FALSE(window->importFrom(dir.filePath("bad.json")));
    ASSERT_EQ(rig.boxes.requests.size(), 1);
    EXPECT_TRUE(rig.boxes.requests.first().text.startsWith("Снимок из " + dir.filePath("bad.json") + " не добавлен: "));
    EXPECT_EQ(window->snapshots().size(), 2);

    // Two snapshots side by side: identical areas collapsed.
    window->selectSnapshot(window->snapshots()[0].id);
    window->selectSnapshot(window->snapshots()[1].id, true);
    window->Button_CompareTwo->click();
    ASSERT_EQ(window->Tree_Compare->topLevelItemCount(), 5);
    EXPECT_EQ(window->Tree_Compare->topLevelItem(0)->text(1), "без изменений");
    EXPECT_FALSE(window->Tree_Compare->topLevelItem(0)->isExpanded());
}

TEST_F(HistoryWindow, AFullDiskAndADamagedStoreAreSaidNotHidden)
{
    TBackupAction backup(*rig.dm, *records, form);
    QSignalSpy done(&backup, &TBackupAction::done);
    backup.startWithNote(QString());
    ASSERT_TRUE(done.wait(10000));
    const qint64 id = done.first().first().toLongLong();
    ASSERT_NE(id, 0);
    TForm_History *window = history();
    ASSERT_TRUE(window);
    window->selectSnapshot(id);
    const QString path = dir.filePath("a.json");
    ASSERT_TRUE(window->exportTo(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();

    rig.boxes.requests.clear();
    bool exported = true;
    {
        FullDisk full(rlim_t(good.size() / 2));
        exported = window->exportTo(path);
    }
    EXPECT_FALSE(exported);
    ASSERT_EQ(rig.boxes.requests.size(), 1);
    EXPECT_EQ(rig.boxes.requests.first().text, QStringLiteral("Снимок не сохранён в %1: %2").arg(path, qt_error_string(EFBIG)));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), good);

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("tamper"));
        db.setDatabaseName(dir.filePath("s.sqlite"));
        ASSERT_TRUE(db.open());
        ASSERT_TRUE(QSqlQuery(db).exec(QStringLiteral("UPDATE area SET registers = x'00' WHERE area = 'zero'")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("tamper"));
    window->refresh();
    if (qEnvironmentVariableIsSet("KEEP_SHOT"))
        window->grab().save(qEnvironmentVariable("KEEP_SHOT"));
    EXPECT_TRUE(window->snapshots().isEmpty());
    EXPECT_TRUE(window->Label_Result->text().contains(QStringLiteral("Снимок №%1").arg(id))) << window->Label_Result->text().toStdString();
    EXPECT_TRUE(window->Label_Result->text().contains("(zero): 1 регистров вместо 8")) << window->Label_Result->text().toStdString();
}

TEST_F(HistoryWindow, ASilentMeterStopsTheBackupWithItsReasonAndStoresNothing)
{
    rig.server.options().silent = true;
    TBackupAction backup(*rig.dm, *records, form);
    QSignalSpy done(&backup, &TBackupAction::done);
    backup.startWithNote(QString());
    ASSERT_TRUE(done.wait(8000));
    EXPECT_EQ(done.first().first().toLongLong(), 0);
    EXPECT_EQ(done.first().last().toString(), "Резервная копия не сохранена: Прибор не отвечает: нет ответа на 7 из 7 запросов");
    EXPECT_TRUE(records->store().list().isEmpty());
}

TEST(HistoryFromMainWindow, TheWindowsGetTheRecordsAndARefusedSaveIsOneBox)
{
    QTemporaryDir dir;
    MeterRig rig;
    ASSERT_TRUE(rig.connect());
    TCalibrationRecords records(*rig.dm, std::make_unique<TRecordStore>(dir.filePath("s.sqlite")));
    TForm_Main main(*rig.dm);
    main.setRecords(&records);
    main.show();
    main.ToolButton_Kalibr->click();
    auto *kalibr = main.findChild<TForm_Kalibrovka *>();
    ASSERT_TRUE(kalibr);
    EXPECT_TRUE(kalibr->ToolButton_History->isEnabled());
    EXPECT_TRUE(kalibr->ToolButton_Backup->isEnabled());

    rig.server.model().setIgnoredWrites(13, 20);
    TTabZeroTermo *zero = kalibr->TabSheet2;
    zero->Button_read_0_Kf_termo->click();
    ASSERT_TRUE(EventuallyTrue([&] { return !zero->Edit_0_T_ns_60->text().isEmpty(); }));
    zero->Edit_0_T_ns_60->setText("9");
    zero->Button_save_0_Kf_termo->click();
    ASSERT_TRUE(EventuallyTrue([&] { return rig.boxes.requests.size() == 1; }, 3000));
    EXPECT_EQ(rig.boxes.requests.first().icon, QMessageBox::Warning);
    EXPECT_TRUE(rig.boxes.requests.first().text.startsWith("Прибор не принял записанные значения (Калибровка 0)"))
        << rig.boxes.requests.first().text.toStdString();
    ASSERT_EQ(records.store().list().size(), 1);
    EXPECT_EQ(records.store().list().first().reason, SnapshotReason::BeforeZeroSave);
    QTest::qWait(200);
    EXPECT_EQ(rig.boxes.requests.size(), 1);
}

TEST_F(HistoryWindow, ARestoreCutShortIsShownAndCanBeFinishedOrUndone)
{
    const auto thermometer = [&] {
        QVector<quint16> regs;
        for (int r = 5; r <= 12; ++r)
            regs << rig.server.model().paramWord(r);
        return regs;
    };
    const auto readAndKeep = [&](SnapshotReason reason) {
        TCalibrationReader reader(*rig.dm, 2000);
        QSignalSpy done(&reader, &TCalibrationReader::finished);
        reader.start(AllCalibrationAreas());
        EXPECT_TRUE(done.wait(10000));
        return records->store().add(reader.snapshot(reason));
    };
    for (const bool finish : {true, false}) {
        SCOPED_TRACE(finish ? "finish" : "undo");
        const auto setThermometer = [&](const QVector<quint16> &regs, int count) {
            for (int i = 0; i < count; ++i)
                rig.server.model().setParamWord(5 + i, regs[i]);
        };
        const auto recalculate = [&] {
            rig.server.model().handleRequest(Proto::writeWordFrame(Proto::CommandRegister, Proto::CmdRecalculate));
        };
        // The meter as it was (the way back), and another calibration to restore, each with its coefficients.
        const QVector<quint16> before = thermometer();
        const qint64 wayBack = readAndKeep(SnapshotReason::BeforeRestore);
        rig.server.model().setParamFloat(5, finish ? 21.5f : 19.5f);
        rig.server.model().setParamFloat(9, finish ? 61.5f : 59.5f);
        recalculate();
        const QVector<quint16> wanted = thermometer();
        const qint64 target = readAndKeep(SnapshotReason::ManualBackup);
        setThermometer(before, 8);
        recalculate();
        // Cut short after the first point of the restore had been written.
        setThermometer(wanted, 2);
        ASSERT_NE(records->store().beginRestore(target, wayBack, {CalibrationArea::Thermometer}), 0);

        TForm_History *window = history();
        ASSERT_TRUE(window);
        window->refresh();
        ASSERT_TRUE(window->Panel_Unfinished->isVisibleTo(window));
        EXPECT_TRUE(window->Panel_Unfinished->Label_Unfinished->text().contains(
            QStringLiteral("Восстановление снимка №%1 (Термометр)").arg(target)));
        EXPECT_TRUE(window->Panel_Unfinished->Label_Unfinished->text().contains(QStringLiteral("снимок №%1").arg(wayBack)));

        rig.boxes.setAnswer(QMessageBox::Yes);
        rig.boxes.requests.clear();
        QSignalSpy restored(window, &TForm_History::restoreFinished);
        (finish ? window->Panel_Unfinished->Button_FinishRestore : window->Panel_Unfinished->Button_UndoRestore)->click();
        ASSERT_TRUE(restored.wait(20000));
        EXPECT_EQ(restored.first().first().toString(), "восстановлено");
        ASSERT_FALSE(rig.boxes.requests.isEmpty());
        EXPECT_TRUE(rig.boxes.requests.first().text.contains(QStringLiteral("снимок №%1").arg(finish ? target : wayBack)));
        EXPECT_EQ(thermometer(), finish ? wanted : before);
        EXPECT_FALSE(window->Panel_Unfinished->isVisibleTo(window)) << "settled by the restore that followed";
        window->close();
        QTest::qWait(50);
    }
}

TEST(HistoryOtherMeter, ASnapshotFromAnotherMeterIsRestoredOnlyAfterYes)
{
    MeterRig rig({}, QStringLiteral("SN-HERE"));
    ASSERT_TRUE(rig.started && rig.connect());
    QTemporaryDir dir;
    TCalibrationRecords records(*rig.dm, std::make_unique<TRecordStore>(dir.filePath("s.sqlite")));
    TCalibrationReader reader(*rig.dm, 2000);
    QSignalSpy read(&reader, &TCalibrationReader::finished);
    reader.start(AllCalibrationAreas());
    ASSERT_TRUE(read.wait(10000));
    Snapshot here = reader.snapshot(SnapshotReason::ManualBackup);
    EXPECT_EQ(here.meterSerial, "SN-HERE") << "taken with the port's serial number";
    Snapshot elsewhere = here;
    elsewhere.meterSerial = QStringLiteral("SN-ELSEWHERE");
    const qint64 otherId = records.store().add(elsewhere);
    ASSERT_NE(otherId, 0);

    TForm_History window(*rig.dm, records);
    window.show();
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        SCOPED_TRACE(answer == QMessageBox::Yes ? "Да" : "Нет");
        rig.boxes.requests.clear();
        rig.boxes.setAnswer(answer);
        const qsizetype snapshotsBefore = records.store().list().size();
        QSignalSpy finished(&window, &TForm_History::restoreFinished);
        window.selectSnapshot(otherId);
        WhenDialogShows([](QDialog *d) { qobject_cast<TDialog_Restore *>(d)->Buttons->button(QDialogButtonBox::Ok)->click(); });
        window.Button_RestoreClick();
        ASSERT_TRUE(EventuallyTrue([&] { return !rig.boxes.requests.isEmpty(); }, 15000));
        EXPECT_TRUE(rig.boxes.requests.first().text.contains(
            QStringLiteral("Снимок №%1 снят с другого прибора (серийный номер SN-ELSEWHERE), подключён прибор с номером "
                           "SN-HERE. Восстановить его в этот прибор?")
                .arg(otherId)))
            << rig.boxes.requests.first().text.toStdString();
        EXPECT_EQ(rig.boxes.requests.first().defaultButton, QMessageBox::No);
        if (answer == QMessageBox::Yes) {
            ASSERT_TRUE(finished.wait(20000));
            EXPECT_EQ(finished.first().first().toString(), "восстановлено");
        } else {
            QTest::qWait(300);
            EXPECT_TRUE(finished.isEmpty());
            EXPECT_EQ(records.store().list().size(), snapshotsBefore) << "no way back taken: nothing to write";
        }
    }
}
