#include "fake_ports.h"
#include "link/candidate_ports.h"
#include "link/port_discovery.h"
#include "link/rx_tx_cnt.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString Debug = QStringLiteral("KESTRO DEBUG PORT");
const QString Meter = QStringLiteral("KESTRO FLOWMETER");

struct DiscoveryCase
{
    const char *name;
    QList<FakePort> ports;
    QString expectedText;
    QStringList expectedOpenerCalls;
    QStringList expectedFreeAsked; // which candidates got the free test, in order
};

// Short test names in ctest instead of a byte dump.
void PrintTo(const DiscoveryCase &c, std::ostream *os)
{
    *os << c.name;
}

class FindDevicePortTest : public ::testing::TestWithParam<DiscoveryCase>
{
};

TEST_P(FindDevicePortTest, OpensFirstFreeNonDebugCandidate)
{
    const DiscoveryCase &c = GetParam();
    FakeEnumerator ports(c.ports);
    FakeOpener opener;

    EXPECT_EQ(FindDevicePort(ports, opener), c.expectedText);
    EXPECT_EQ(opener.calls, c.expectedOpenerCalls);
    EXPECT_EQ(ports.freeAsked, c.expectedFreeAsked);
    EXPECT_EQ(ports.listedIds, QStringList{QStringLiteral("0483:5740")});
}

const QString NotFound = QStringLiteral("  Порт не найден!");

INSTANTIATE_TEST_SUITE_P(
    Cases, FindDevicePortTest,
    ::testing::Values(
        DiscoveryCase{"NoCandidate", {}, NotFound, {}, {}},
        DiscoveryCase{"OnlyDebugPort", {{"COM3", Debug, true}}, NotFound, {}, {}},
        DiscoveryCase{"DebugThenFree",
                      {{"COM3", Debug, true}, {"COM6", Meter, true}},
                      QStringLiteral(" COM6 открыт и доступен"),
                      {"close", "open:COM6"},
                      {"COM6"}},
        DiscoveryCase{"TwoFreeOnlyFirstOpened",
                      {{"COM4", Meter, true}, {"COM5", Meter, true}},
                      QStringLiteral(" COM4 открыт и доступен"),
                      {"close", "open:COM4"},
                      {"COM4"}},
        DiscoveryCase{"BusyLast",
                      {{"COM3", Debug, true}, {"COM7", Meter, false}},
                      QStringLiteral(" COM7 занят или недоступен"),
                      {},
                      {"COM7"}},
        DiscoveryCase{"BusyTextNamesOnlyTheLastTried",
                      {{"COM7", Meter, false}, {"COM8", "NOT_FOUND", false}},
                      QStringLiteral(" COM8 занят или недоступен"),
                      {},
                      {"COM7", "COM8"}},
        DiscoveryCase{"BusyThenFree",
                      {{"COM7", Meter, false}, {"COM9", Meter, true}},
                      QStringLiteral(" COM9 открыт и доступен"),
                      {"close", "open:COM9"},
                      {"COM7", "COM9"}},
        // Only the exact description marks the debug port; an error text is tried.
        DiscoveryCase{"DebugMatchIsCaseSensitive",
                      {{"COM3", "kestro debug port", true}},
                      QStringLiteral(" COM3 открыт и доступен"),
                      {"close", "open:COM3"},
                      {"COM3"}},
        DiscoveryCase{"ErrorDescriptionIsTried",
                      {{"/dev/pts/4", "ERROR: no sysfs", true}},
                      QStringLiteral(" /dev/pts/4 открыт и доступен"),
                      {"close", "open:/dev/pts/4"},
                      {"/dev/pts/4"}}),
    [](const ::testing::TestParamInfo<DiscoveryCase> &info) { return std::string(info.param.name); });

TEST(FindDevicePort, OpenFailureAfterFreeTestPropagates)
{
    FakeEnumerator ports({{"COM4", Meter, true}, {"COM5", Meter, true}});
    FakeOpener opener;
    opener.failOpen = QStringList{"COM4"};

    EXPECT_THROW(FindDevicePort(ports, opener), LinkError);
    // Discovery stops at the failure; the next candidate is not tried behind the caller's back.
    EXPECT_EQ(opener.calls, (QStringList{"close", "open:COM4"}));
    EXPECT_EQ(ports.described, QStringList{"COM4"});
}

TEST(PortNumberFromName, Table)
{
    const struct
    {
        const char *name;
        int number;
    } cases[] = {
        {"COM12", 12}, {"COM1", 1},   {"COM0", -1},  {"COMX", -1}, {"com3", -1},
        {"COM", -1},   {"", -1},      {"COM-3", -1}, {"COM+5", -1}, {"COM 5", -1},
        {"COM5x", -1}, {"ttyACM0", -1}, {"COM99999999999", -1},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PortNumberFromName(QString::fromUtf8(c.name)), c.number) << c.name;
}

TEST(TRxTxCnt, TextOfFreshCountedAndResetCounters)
{
    TRxTxCnt cnt;
    EXPECT_EQ(cnt.GetString(), QStringLiteral("Tx:0  Rx:0  "));
    for (int i = 0; i < 12; ++i)
        cnt.IncTx();
    for (int i = 0; i < 11; ++i)
        cnt.IncRx();
    EXPECT_EQ(cnt.GetString(), QStringLiteral("Tx:12  Rx:11  "));
    cnt.Reset();
    EXPECT_EQ(cnt.GetString(), QStringLiteral("Tx:0  Rx:0  "));
}

TEST(ParseVirtualPortArg, Table)
{
    const struct
    {
        const char *arg;
        const char *path;
        const char *description;
        const char *serial;
    } cases[] = {
        {"/dev/pts/5", "/dev/pts/5", "", ""},
        {"/dev/pts/5=KESTRO DEBUG PORT", "/dev/pts/5", "KESTRO DEBUG PORT", ""},
        {"/tmp/meter=", "/tmp/meter", "", ""},
        {"/tmp/meter=a=b", "/tmp/meter", "a=b", ""},
        {"/tmp/meter=KESTRO SIM@SN-0042", "/tmp/meter", "KESTRO SIM", "SN-0042"},
        {"/tmp/meter=@SN-7", "/tmp/meter", "", "SN-7"},
        {"/tmp/me@ter=a@b@SN", "/tmp/me@ter", "a@b", "SN"},
    };
    for (const auto &c : cases) {
        const VirtualPort port = ParseVirtualPortArg(QString::fromUtf8(c.arg));
        EXPECT_EQ(port.path, QString::fromUtf8(c.path)) << c.arg;
        EXPECT_EQ(port.description, QString::fromUtf8(c.description)) << c.arg;
        EXPECT_EQ(port.serial, QString::fromUtf8(c.serial)) << c.arg;
    }
}

class CandidatePortsTest : public ::testing::Test
{
protected:
    QString makePath(const QString &name)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(CandidatePortsTest, VirtualPortsComeFirstInGivenOrderThenTheSystems)
{
    const QString b = makePath("b");
    const QString a = makePath("a");
    const QString gone = dir.filePath("gone");
    auto system = std::make_unique<FakeEnumerator>(
        QList<FakePort>{{"ttyACM0", Meter, true}, {"ttyACM1", Debug, false}});
    FakeEnumerator *sys = system.get();
    CandidatePorts ports({{b, ""}, {gone, ""}, {a, "RIG"}}, std::move(system));

    // A path that is not there now is no candidate; order is as given, not sorted.
    EXPECT_EQ(ports.ListPortsByVidPid("0483", "5740"), (QStringList{b, a, "ttyACM0", "ttyACM1"}));
    // The given ports carry only the meter's ID.
    EXPECT_EQ(ports.ListPortsByVidPid("1234", "5678"), (QStringList{"ttyACM0", "ttyACM1"}));
    EXPECT_EQ(sys->listedIds, (QStringList{"0483:5740", "1234:5678"}));

    EXPECT_EQ(ports.GetPortDeviceDesc(b), "NOT_FOUND");
    EXPECT_EQ(ports.GetPortDeviceDesc(a), "RIG");
    EXPECT_EQ(ports.GetPortDeviceDesc("ttyACM1"), Debug);

    // A plain file is not a serial port: never free. The system's ports ask the system.
    EXPECT_FALSE(ports.IsPortFree(a));
    EXPECT_TRUE(ports.IsPortFree("ttyACM0"));
    EXPECT_FALSE(ports.IsPortFree("ttyACM1"));
    EXPECT_EQ(sys->freeAsked, (QStringList{"ttyACM0", "ttyACM1"}));
}

TEST_F(CandidatePortsTest, WithoutSystemOnlyVirtualPortsAndAddedOnesCount)
{
    const QString a = makePath("a");
    const QString b = makePath("b");
    CandidatePorts ports({{a, "KESTRO DEBUG PORT"}}, nullptr);
    ports.addVirtual({b, ""});

    EXPECT_EQ(ports.ListPortsByVidPid("0483", "5740"), (QStringList{a, b}));
    EXPECT_EQ(ports.GetPortDeviceDesc("ttyACM0"), "NOT_FOUND");
    EXPECT_FALSE(ports.IsPortFree("ttyACM0"));

    // The debug description given on the command line keeps discovery off that port.
    FakeOpener opener;
    EXPECT_EQ(FindDevicePort(ports, opener), QStringLiteral(" ") + b + " занят или недоступен");
    EXPECT_TRUE(opener.calls.isEmpty());
}

} // namespace
