// kestroctl against the simulator executable, through a real pseudo-terminal.
#include "e2e/sim_process.h"
#include "protocol/number_text.h"
#include "sim/meter_model.h"
#include "support/locale_guard.h"
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>
#include <QTemporaryFile>
#include <gtest/gtest.h>

namespace {

const QString Ctl = QStringLiteral(KESTROCTL_PATH);
const QStringList Russian = {QStringLiteral("LC_ALL=ru_RU.UTF-8")};
const QStringList Plain = {QStringLiteral("LC_ALL=C.UTF-8")};

QStringList lines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList names(const QStringList &nameValueLines)
{
    QStringList out;
    for (const QString &l : nameValueLines)
        out << l.section(QLatin1Char('='), 0, 0);
    return out;
}

QStringList seq(const QString &prefix, int n)
{
    QStringList out;
    for (int i = 1; i <= n; ++i)
        out << prefix + QString::number(i);
    return out;
}

class KestroctlTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(sim.ok()) << sim.startError().toStdString(); }
    QStringList port() const { return {QStringLiteral("--virtual-port"), sim.devicePath()}; }
    SimProcess sim;
};

struct BlockCase
{
    const char *block;
    QStringList expectedNames;
};

void PrintTo(const BlockCase &c, std::ostream *os)
{
    *os << c.block;
}

class KestroctlReadTest : public KestroctlTest, public ::testing::WithParamInterface<BlockCase>
{
};

TEST_P(KestroctlReadTest, PrintsTheFieldsItsRequestsFill)
{
    const BlockCase &c = GetParam();
    const ProgramRun run = RunProgram(Ctl, port() << QStringLiteral("read") << QLatin1String(c.block), Plain);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList out = lines(run.out);
    EXPECT_EQ(names(out), c.expectedNames) << run.out.toStdString();
    for (const QString &l : out)
        EXPECT_FALSE(l.section(QLatin1Char('='), 1).isEmpty()) << l.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    EveryBlock, KestroctlReadTest,
    ::testing::Values(
        BlockCase{"settings", {"Plotnost_FIX", "Plotnost_FIX_En"}},
        BlockCase{"thermo", {"Temp_20", "Temp_60", "ADC_20", "ADC_60", "Kf", "A", "B", "Kf"}},
        BlockCase{"zero", {"Temp_20", "Temp_60", "t_20", "t_60", "Kf", "A", "B", "Kf"}},
        BlockCase{"thermo-adc", {"ADC_str"}},
        BlockCase{"dt", {"ns_str", "T_str"}},
        BlockCase{"flow-coeffs", {"A", "B", "C", "D", "Kf"}},
        BlockCase{"flow-table", QStringList{"Q_Max"} + seq("Etalon_", 13) + seq("Pribor_", 13) + QStringList{"Kf"}},
        BlockCase{"flow-live", {"Q_Ns_str", "Q_Qm_str", "type_Q_Ns"}},
        BlockCase{"flow-avg", {"sred_times_val", "sred_Qm_val", "Time_ms", "type_Q_Ns"}}),
    [](const auto &info) { return QString::fromLatin1(info.param.block).remove(QLatin1Char('-')).toStdString(); });

TEST_F(KestroctlTest, FlowTableMatchesTheMetersRegistersInTheUsersLocale)
{
    const ProgramRun run = RunProgram(Ctl, port() << QStringLiteral("read") << QStringLiteral("flow-table"), Russian);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();

    // The simulator's parameter space is seeded the same way in every instance.
    LocaleGuard ru(LocaleGuard::comma());
    MeterModel model;
    QStringList expected{QStringLiteral("Q_Max=") + FormatFloatPattern(model.paramFloat(21), NumPattern::P0_hhh)};
    for (int n = 1; n <= 13; ++n)
        expected << QStringLiteral("Etalon_%1=%2").arg(n).arg(FormatFloatPattern(model.paramFloat(21 + 2 * n), NumPattern::P0_hhh));
    for (int n = 1; n <= 13; ++n)
        expected << QStringLiteral("Pribor_%1=%2").arg(n).arg(FormatFloatPattern(model.paramFloat(47 + 2 * n), NumPattern::P0_hhh));
    expected << QStringLiteral("Kf=0");
    EXPECT_EQ(lines(run.out), expected);
}

TEST_F(KestroctlTest, DensityUsesCommaUnderRussianAndPointUnderC)
{
    const ProgramRun ru = RunProgram(Ctl, port() << QStringLiteral("read") << QStringLiteral("settings"), Russian);
    const ProgramRun c = RunProgram(Ctl, port() << QStringLiteral("read") << QStringLiteral("settings"), Plain);
    ASSERT_EQ(ru.exitCode, 0);
    ASSERT_EQ(c.exitCode, 0);
    const QRegularExpression commaNumber(QStringLiteral("^Plotnost_FIX=\\d+,\\d\\d$"));
    const QRegularExpression pointNumber(QStringLiteral("^Plotnost_FIX=\\d+\\.\\d\\d$"));
    EXPECT_TRUE(commaNumber.match(lines(ru.out).value(0)).hasMatch()) << ru.out.toStdString();
    EXPECT_TRUE(pointNumber.match(lines(c.out).value(0)).hasMatch()) << c.out.toStdString();
}

TEST_F(KestroctlTest, LivePrintsNineTabSeparatedTextsPerAnswerAndStops)
{
    const ProgramRun run = RunProgram(Ctl, port() << QStringLiteral("live") << QStringLiteral("--count")
                                                  << QStringLiteral("3"), Plain);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QStringList out = lines(run.out);
    ASSERT_EQ(out.size(), 3);
    for (const QString &l : out) {
        const QStringList fields = l.split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 9) << l.toStdString();
        for (const QString &f : fields)
            EXPECT_FALSE(f.isEmpty());
    }
}

TEST_F(KestroctlTest, DiscoverOpensTheVirtualPortAndNamesItByPath)
{
    const ProgramRun run = RunProgram(Ctl, port() << QStringLiteral("discover"), Russian);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QStringLiteral(" %1 открыт и доступен\n").arg(sim.devicePath()));
}

TEST_F(KestroctlTest, DebugPortIsSkippedForTheNextCandidate)
{
    const QString debug = sim.devicePath() + QStringLiteral("=KESTRO DEBUG PORT");
    SimProcess second;
    ASSERT_TRUE(second.ok());
    const ProgramRun run = RunProgram(Ctl, {QStringLiteral("--virtual-port"), debug, QStringLiteral("--virtual-port"),
                                            second.devicePath(), QStringLiteral("discover")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, QStringLiteral(" %1 открыт и доступен\n").arg(second.devicePath()));
}

TEST(KestroctlNoMeter, ExitCodesSayWhatFailed)
{
    // A path that exists but is no terminal cannot be opened: the candidate is busy.
    QTemporaryFile notATerminal;
    ASSERT_TRUE(notATerminal.open());
    const QString busy = notATerminal.fileName();
    const ProgramRun discover = RunProgram(Ctl, {QStringLiteral("--virtual-port"), busy, QStringLiteral("discover")}, Russian);
    EXPECT_EQ(discover.exitCode, 1);
    EXPECT_EQ(discover.out, QStringLiteral(" %1 занят или недоступен\n").arg(busy));

    const ProgramRun read = RunProgram(Ctl, {QStringLiteral("--virtual-port"), busy, QStringLiteral("read"),
                                             QStringLiteral("settings")}, Russian);
    EXPECT_EQ(read.exitCode, 2);
    EXPECT_TRUE(read.out.isEmpty());
    EXPECT_EQ(read.err, QStringLiteral(" %1 занят или недоступен\n").arg(busy));

    // A candidate that is not present at all is passed over.
    const ProgramRun absent = RunProgram(Ctl, {QStringLiteral("--virtual-port"), QStringLiteral("/nonexistent/kestro"),
                                               QStringLiteral("discover")}, Russian);
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_EQ(absent.out, QStringLiteral("  Порт не найден!\n"));

    const ProgramRun usage = RunProgram(Ctl, {QStringLiteral("read"), QStringLiteral("nonsense")});
    EXPECT_EQ(usage.exitCode, 64);
}

TEST(KestroctlSilentMeter, ReadTimesOutWithExitThree)
{
    SimProcess silent({QStringLiteral("--silent")});
    ASSERT_TRUE(silent.ok());
    const ProgramRun run = RunProgram(Ctl, {QStringLiteral("--virtual-port"), silent.devicePath(), QStringLiteral("--timeout"),
                                            QStringLiteral("300"), QStringLiteral("read"), QStringLiteral("settings")});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_FALSE(run.err.isEmpty());
}

} // namespace

// A port that is there but not the user's is not just "busy": the hint says how to
// get it, and the exit code says what happened.
TEST_F(KestroctlTest, PortWithoutRightsGivesTheHintAndItsOwnExitCode)
{
    const QByteArray slave = QFile::encodeName(QFileInfo(sim.devicePath()).canonicalFilePath());
    ASSERT_EQ(::chmod(slave.constData(), 0600), 0);
    QString program = Ctl;
    QStringList args = port() << QStringLiteral("discover");
    if (::geteuid() == 0) {
        // Root reads any file: the program runs as nobody instead.
        if (QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            GTEST_SKIP() << "running as root without setpriv";
        args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", Ctl} + args;
        program = QStringLiteral("setpriv");
    } else {
        ASSERT_EQ(::chmod(slave.constData(), 0), 0);
    }
    const ProgramRun run = RunProgram(program, args, Plain);
    EXPECT_EQ(run.exitCode, 4) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("занят или недоступен"))) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("Нет прав на порт"))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("dialout"))) << run.err.toStdString();
}
