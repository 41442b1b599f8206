// Backup and restore against the simulated meter on a pseudo-terminal: what the
// meter holds afterwards, register by register, and what a failure leaves behind.
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_restorer.h"
#include "sim/meter_server.h"
#include <QSet>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Rig
{
    explicit Rig(const SimOptions &options = {}) : server(options), store(dir.filePath(QStringLiteral("s.sqlite")))
    {
        started = server.start();
        dm = std::make_unique<TDM_1>(std::make_unique<CandidatePorts>(
            QList<VirtualPort>{{server.devicePath(), QStringLiteral("KESTRO SIM")}}, nullptr));
        dm->findDevicePort();
    }
    // Every writable register of the meter's calibration, as it holds them.
    QMap<int, quint16> params()
    {
        QMap<int, quint16> regs;
        for (CalibrationArea a : WritableCalibrationAreas())
            for (const RegisterRange &r : AreaSpecOf(a).ranges)
                for (int reg = r.first; reg < r.first + r.count; ++reg)
                    regs.insert(reg, server.model().paramWord(reg));
        return regs;
    }
    std::optional<Snapshot> backup()
    {
        TCalibrationReader reader(*dm, 1000);
        QSignalSpy done(&reader, &TCalibrationReader::finished);
        reader.start(AllCalibrationAreas());
        if (!done.wait(5000))
            return std::nullopt;
        return reader.snapshot(SnapshotReason::ManualBackup);
    }
    void recalculate() { server.model().handleRequest(Proto::writeWordFrame(Proto::CommandRegister, Proto::CmdRecalculate)); }
    RestoreOutcome restore(const Snapshot &s, const QList<CalibrationArea> &areas = WritableCalibrationAreas(),
                           int reconnectMs = TCalibrationRestorer::DefaultReconnectMs)
    {
        TCalibrationRestorer restorer(*dm, store, 1000);
        restorer.setReconnectMs(reconnectMs);
        QSignalSpy done(&restorer, &TCalibrationRestorer::finished);
        restorer.start(s, areas);
        EXPECT_TRUE(done.count() > 0 || done.wait(30000));
        return done.isEmpty() ? RestoreOutcome{} : done.first().first().value<RestoreOutcome>();
    }

    QTemporaryDir dir;
    MeterServer server;
    TRecordStore store;
    bool started = false;
    std::unique_ptr<TDM_1> dm;
};

} // namespace

TEST(CalibrationRestore, PutsBackEveryAreaBitForBitAndSaysSo)
{
    Rig rig;
    ASSERT_TRUE(rig.started && rig.dm->isPortOpen());
    // Odd bit patterns survive: the lowest bit of a mantissa, a negative zero, a denormal.
    rig.server.model().setParamWord(5, 0x0001), rig.server.model().setParamWord(6, 0x41a0);
    rig.server.model().setParamWord(13, 0x0000), rig.server.model().setParamWord(14, 0x8000);
    rig.server.model().setParamWord(21 + 30, 0x0001), rig.server.model().setParamWord(21 + 31, 0x0000);
    // The meter's coefficients follow from these points, as after a save and command 24.
    rig.recalculate();
    const QMap<int, quint16> original = rig.params();
    const std::optional<Snapshot> backup = rig.backup();
    ASSERT_TRUE(backup);
    ASSERT_EQ(backup->areas.keys(), AllCalibrationAreas());

    // Every area ruined.
    for (int reg : original.keys())
        rig.server.model().setParamWord(reg, quint16(original[reg] ^ 0x5a5a));
    const RestoreOutcome outcome = rig.restore(*backup);
    EXPECT_TRUE(outcome.restored) << outcome.message.toStdString();
    EXPECT_EQ(outcome.message, "восстановлено");
    EXPECT_EQ(outcome.areasIn(AreaRestoreState::Written), WritableCalibrationAreas());
    EXPECT_EQ(rig.params(), original);
    EXPECT_EQ(rig.server.model().lastCommand(), Proto::CmdRecalculate);

    // The way back holds what the meter had before the restore.
    const std::optional<Snapshot> before = rig.store.get(outcome.beforeRestoreId);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->reason, SnapshotReason::BeforeRestore);
    EXPECT_EQ(before->areas.value(CalibrationArea::Thermometer).at(0), quint16(0x0001 ^ 0x5a5a));
}

TEST(CalibrationRestore, OnlyTheChosenAreasAreWrittenAndARefusingMeterIsNamed)
{
    Rig rig;
    ASSERT_TRUE(rig.started && rig.dm->isPortOpen());
    const std::optional<Snapshot> backup = rig.backup();
    ASSERT_TRUE(backup);
    const quint16 flowBefore = rig.server.model().paramWord(21);
    rig.server.model().setParamWord(5, 0x1111);
    rig.server.model().setParamWord(21, 0x2222);
    rig.server.model().setIgnoredWrites(5, 5);

    const RestoreOutcome outcome = rig.restore(*backup, {CalibrationArea::Thermometer});
    EXPECT_FALSE(outcome.restored);
    ASSERT_FALSE(outcome.differing.isEmpty());
    EXPECT_EQ(outcome.differing.first(), "Термометр: регистр 5");
    // The rest: the coefficients computed from the wrong point, none of another area.
    for (const QString &line : outcome.differing.mid(1))
        EXPECT_TRUE(line.startsWith("Коэффициенты: регистр данных 1")) << line.toStdString();
    EXPECT_EQ(rig.server.model().paramWord(6), backup->areas.value(CalibrationArea::Thermometer).at(1));
    EXPECT_EQ(rig.server.model().paramWord(21), 0x2222) << "flow table not chosen, not written";
    EXPECT_NE(flowBefore, 0x2222);
}

TEST(CalibrationRestore, HangUpMidwaySaysWhatWasWrittenAndKeepsTheWayBack)
{
    Rig rig;
    ASSERT_TRUE(rig.started && rig.dm->isPortOpen());
    const std::optional<Snapshot> backup = rig.backup();
    ASSERT_TRUE(backup);
    // Unplugged as the flow table's third write arrives.
    int flowWrites = 0;
    QObject::connect(&rig.server, &MeterServer::requestReceived, &rig.server, [&](const QByteArray &frame) {
        if (quint8(frame[1]) == Proto::FnWriteParams && quint8(frame[3]) >= 21 && ++flowWrites == 3)
            QMetaObject::invokeMethod(&rig.server, [&] { rig.server.hangUp(); }, Qt::QueuedConnection);
    });
    const RestoreOutcome outcome = rig.restore(*backup, WritableCalibrationAreas(), 1500);
    EXPECT_FALSE(outcome.restored);
    // The meter never came back: what left cannot be confirmed, only what never left is known.
    EXPECT_EQ(outcome.areasIn(AreaRestoreState::Unchecked),
              (QList<CalibrationArea>{CalibrationArea::Density, CalibrationArea::Thermometer, CalibrationArea::Zero,
                                      CalibrationArea::FlowTable}));
    EXPECT_TRUE(outcome.areasIn(AreaRestoreState::Written).isEmpty());
    EXPECT_NE(outcome.beforeRestoreId, 0);
    EXPECT_TRUE(outcome.message.contains("не проверено (нет связи): Фиксированная плотность, Термометр, Калибровка 0, "
                                         "Калибровка расхода"))
        << outcome.message.toStdString();
    EXPECT_TRUE(outcome.message.contains(QStringLiteral("снимок №%1").arg(outcome.beforeRestoreId)));
    ASSERT_TRUE(rig.store.get(outcome.beforeRestoreId));
    EXPECT_EQ(rig.store.get(outcome.beforeRestoreId)->areas.size(), AllCalibrationAreas().size());
}

TEST(CalibrationRestore, SilentMeterOrUnusableStoreWritesNothing)
{
    SimOptions silent;
    silent.silent = true;
    Rig rig(silent);
    ASSERT_TRUE(rig.started && rig.dm->isPortOpen());
    {
        TCalibrationReader reader(*rig.dm, 300);
        QSignalSpy failed(&reader, &TCalibrationReader::failed);
        reader.start(AllCalibrationAreas());
        ASSERT_TRUE(failed.wait(3000));
        EXPECT_EQ(failed.first().first().toString(), "Прибор не отвечает: нет ответа на 7 из 7 запросов");
    }
    Snapshot target;
    target.areas.insert(CalibrationArea::Thermometer, QVector<quint16>(8, 0));
    rig.server.clearReceived();
    const RestoreOutcome outcome = rig.restore(target);
    EXPECT_EQ(outcome.beforeRestoreId, 0);
    EXPECT_TRUE(outcome.message.endsWith("ничего не записано")) << outcome.message.toStdString();
    for (const ReceivedRequest &r : rig.server.received())
        EXPECT_NE(quint8(r.frame[1]), Proto::FnWriteParams);
    EXPECT_TRUE(rig.store.list().isEmpty());
}

TEST(CalibrationRestore, AStoreLockedByAnotherProgramStopsTheRestoreBeforeAnyWrite)
{
    Rig rig;
    ASSERT_TRUE(rig.started && rig.dm->isPortOpen());
    const std::optional<Snapshot> backup = rig.backup();
    ASSERT_TRUE(backup);
    ASSERT_NE(rig.store.add(*backup), 0);
    {
        // Another program holds the database for writing past the wait.
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(rig.store.path());
        ASSERT_TRUE(other.open());
        QSqlQuery(other).exec(QStringLiteral("BEGIN EXCLUSIVE"));
        rig.server.clearReceived();
        const RestoreOutcome outcome = rig.restore(*backup);
        EXPECT_EQ(outcome.beforeRestoreId, 0);
        EXPECT_TRUE(outcome.message.startsWith("Снимок перед восстановлением не сохранён")) << outcome.message.toStdString();
        for (const ReceivedRequest &r : rig.server.received())
            EXPECT_NE(quint8(r.frame[1]), Proto::FnWriteParams);
        QSqlQuery(other).exec(QStringLiteral("ROLLBACK"));
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    EXPECT_EQ(rig.store.list().size(), 1) << "the older snapshot is still there";
}

namespace {

// The report's word for an area, worked out from the meter's registers alone: every
// register was ruined beforehand, so each one tells whether its write arrived.
AreaRestoreState StateFromMeter(const QVector<quint16> &before, const QVector<quint16> &target,
                                const QVector<quint16> &meter)
{
    if (meter == target)
        return AreaRestoreState::Written;
    return meter == before ? AreaRestoreState::NotWritten : AreaRestoreState::Partial;
}

QVector<quint16> MeterArea(MeterServer &server, CalibrationArea area)
{
    QVector<quint16> regs;
    for (const RegisterRange &r : AreaSpecOf(area).ranges)
        for (int reg = r.first; reg < r.first + r.count; ++reg)
            regs << (r.space == RegisterSpace::Params ? server.model().paramWord(reg) : server.model().dataWord(reg));
    return regs;
}

} // namespace

TEST(CalibrationRestore, AfterAHangUpAtAnyFrameTheReportMatchesTheMeterRegisters)
{
    // Frames before the writes: the backup's seven reads and the restore's own seven.
    constexpr int ReadsBefore = 14;
    QSet<int> statesSeen;
    // 12 writes: density 2, thermometer 1, zero 1, flow table 7, command 24.
    for (int writesTaken : {1, 2, 3, 4, 5, 7, 10, 11, 12}) {
        SCOPED_TRACE(writesTaken);
        QTemporaryDir linkDir;
        SimOptions options;
        options.linkPath = linkDir.filePath(QStringLiteral("meter"));
        options.hangupAfterFrames = ReadsBefore + writesTaken;
        options.returnAfterMs = 300;
        Rig rig(options);
        ASSERT_TRUE(rig.started && rig.dm->isPortOpen());
        const std::optional<Snapshot> backup = rig.backup();
        ASSERT_TRUE(backup);
        QMap<CalibrationArea, QVector<quint16>> before;
        for (CalibrationArea a : WritableCalibrationAreas()) {
            for (const RegisterRange &r : AreaSpecOf(a).ranges)
                for (int reg = r.first; reg < r.first + r.count; ++reg)
                    rig.server.model().setParamWord(reg, quint16(rig.server.model().paramWord(reg) ^ 0x5a5a));
            before.insert(a, MeterArea(rig.server, a));
        }
        rig.recalculate(); // the ruined points have their own coefficients

        const RestoreOutcome outcome = rig.restore(*backup);
        ASSERT_NE(outcome.beforeRestoreId, 0) << outcome.message.toStdString();
        bool allWritten = true;
        for (CalibrationArea a : WritableCalibrationAreas()) {
            const AreaRestoreState expected =
                StateFromMeter(before.value(a), backup->areas.value(a), MeterArea(rig.server, a));
            EXPECT_EQ(int(outcome.states.value(a)), int(expected))
                << AreaSpecOf(a).key << ": " << outcome.message.toStdString();
            EXPECT_TRUE(outcome.message == "восстановлено"
                        || outcome.message.contains(RestoreStateTitle(expected) + ": ")) << outcome.message.toStdString();
            statesSeen.insert(int(expected));
            allWritten = allWritten && expected == AreaRestoreState::Written;
        }
        const bool coefficientsBack =
            MeterArea(rig.server, CalibrationArea::Coefficients) == backup->areas.value(CalibrationArea::Coefficients);
        EXPECT_EQ(outcome.restored, allWritten && coefficientsBack) << outcome.message.toStdString();
    }
    // The runs covered every word the report can say after a read-back.
    EXPECT_TRUE(statesSeen.contains(int(AreaRestoreState::Written)));
    EXPECT_TRUE(statesSeen.contains(int(AreaRestoreState::Partial)));
    EXPECT_TRUE(statesSeen.contains(int(AreaRestoreState::NotWritten)));
}

TEST(CalibrationRestore, AMeterThatDropsCommand24IsNotRestored)
{
    Rig rig;
    ASSERT_TRUE(rig.started && rig.dm->isPortOpen());
    const std::optional<Snapshot> backup = rig.backup();
    ASSERT_TRUE(backup);
    // The flow table changed and was recalculated since the backup.
    for (int reg = 23; reg < 23 + 26; ++reg)
        rig.server.model().setParamWord(reg, quint16(rig.server.model().paramWord(reg) + 0x40));
    rig.recalculate();
    ASSERT_NE(MeterArea(rig.server, CalibrationArea::Coefficients), backup->areas.value(CalibrationArea::Coefficients));
    rig.server.model().setDroppedCommands({Proto::CmdRecalculate});

    const RestoreOutcome outcome = rig.restore(*backup, {CalibrationArea::FlowTable});
    EXPECT_FALSE(outcome.restored);
    EXPECT_NE(outcome.message, "восстановлено");
    EXPECT_EQ(int(outcome.states.value(CalibrationArea::FlowTable)), int(AreaRestoreState::Written));
    EXPECT_TRUE(outcome.message.contains("Коэффициенты: регистр данных 36")) << outcome.message.toStdString();
    EXPECT_TRUE(outcome.message.contains("прибор не пересчитал коэффициенты")) << outcome.message.toStdString();

    // The same restore on a meter that recalculates is complete.
    rig.server.model().setDroppedCommands({});
    EXPECT_EQ(rig.restore(*backup, {CalibrationArea::FlowTable}).message, "восстановлено");
}

TEST(CalibrationRestore, TheJournalHoldsARestoreFromBeforeItsFirstWriteToItsEnd)
{
    Rig rig;
    ASSERT_TRUE(rig.started && rig.dm->isPortOpen());
    std::optional<Snapshot> backup = rig.backup();
    ASSERT_TRUE(backup);
    backup->id = rig.store.add(*backup);
    ASSERT_NE(backup->id, 0);

    // Cut short at its first write: the entry is there, not ended, with its way back.
    QList<RestoreRecord> atFirstWrite;
    {
        TCalibrationRestorer restorer(*rig.dm, rig.store, 1000);
        QObject::connect(&rig.server, &MeterServer::requestReceived, &restorer, [&](const QByteArray &frame) {
            if (quint8(frame[1]) == Proto::FnWriteParams && atFirstWrite.isEmpty())
                atFirstWrite = rig.store.restores();
        });
        restorer.start(*backup, {CalibrationArea::Thermometer, CalibrationArea::Zero});
        ASSERT_TRUE(QTest::qWaitFor([&] { return !atFirstWrite.isEmpty(); }, 15000));
    } // the restorer goes away midway, as with a killed program
    ASSERT_EQ(atFirstWrite.size(), 1);
    const QList<RestoreRecord> unfinished = rig.store.restores(true);
    ASSERT_EQ(unfinished.size(), 1);
    EXPECT_EQ(unfinished[0].targetId, backup->id);
    EXPECT_EQ(unfinished[0].areas, (QList<CalibrationArea>{CalibrationArea::Thermometer, CalibrationArea::Zero}));
    const std::optional<Snapshot> wayBack = rig.store.get(unfinished[0].wayBackId);
    ASSERT_TRUE(wayBack);
    EXPECT_EQ(wayBack->reason, SnapshotReason::BeforeRestore);

    // Finishing it (the same snapshot, those areas) ends both entries.
    const RestoreOutcome finished = rig.restore(*backup, unfinished[0].areas);
    EXPECT_TRUE(finished.restored) << finished.message.toStdString();
    EXPECT_TRUE(rig.store.restores(true).isEmpty());
    const QList<RestoreRecord> all = rig.store.restores();
    ASSERT_EQ(all.size(), 2);
    EXPECT_TRUE(all[0].restored);
    EXPECT_EQ(all[0].outcome, "восстановлено");
    EXPECT_FALSE(all[1].restored);
    EXPECT_TRUE(all[1].outcome.contains(QStringLiteral("№%1").arg(all[0].id))) << all[1].outcome.toStdString();

    // A snapshot from a file is kept first, so its restore can be finished from the store.
    Snapshot fromFile = *backup;
    fromFile.id = 0;
    const RestoreOutcome again = rig.restore(fromFile, {CalibrationArea::Density});
    ASSERT_NE(again.journalId, 0);
    EXPECT_GT(rig.store.restores().first().targetId, backup->id);
}

TEST(CalibrationRestore, ASnapshotAMeterMustNotReceiveSendsNoFrameAtAll)
{
    Rig rig;
    ASSERT_TRUE(rig.started && rig.dm->isPortOpen());
    const std::optional<Snapshot> backup = rig.backup();
    ASSERT_TRUE(backup);
    const auto changed = [&](CalibrationArea area, const QVector<quint16> &registers) {
        Snapshot s = *backup;
        s.areas[area] = registers;
        return s;
    };
    QVector<quint16> flowWithNaN = backup->areas.value(CalibrationArea::FlowTable);
    flowWithNaN[52] = 0xFFFF, flowWithNaN[53] = 0xFFFF; // a register never written: NaN
    const struct
    {
        const char *name;
        Snapshot target;
        const char *says;
    } cases[] = {
        {"flow table one register short", changed(CalibrationArea::FlowTable, QVector<quint16>(53, 0)), "53 регистров вместо 54"},
        {"density with no flag", changed(CalibrationArea::Density, {0x8ccd, 0x4479}), "2 регистров вместо 3"},
        {"a blank flow register", changed(CalibrationArea::FlowTable, flowWithNaN), "«Прибор 13»: NaN — не число"},
        {"density flag 7", changed(CalibrationArea::Density, {0x8ccd, 0x4479, 7}), "только 0 или 1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        rig.server.clearReceived();
        const QMap<int, quint16> before = rig.params();
        const RestoreOutcome outcome = rig.restore(c.target);
        EXPECT_FALSE(outcome.restored);
        EXPECT_EQ(outcome.beforeRestoreId, 0);
        EXPECT_TRUE(outcome.message.contains(QString::fromUtf8(c.says))) << outcome.message.toStdString();
        EXPECT_TRUE(outcome.message.endsWith("ничего не записано")) << outcome.message.toStdString();
        EXPECT_TRUE(rig.server.received().isEmpty()) << "not even a read";
        EXPECT_EQ(rig.params(), before);
    }
    // Only what is restored has to be fit for the meter.
    const RestoreOutcome outcome = rig.restore(changed(CalibrationArea::FlowTable, flowWithNaN), {CalibrationArea::Zero});
    EXPECT_TRUE(outcome.restored) << outcome.message.toStdString();
}
