// The Modbus driver against pymodbus playing a rig (tests/unit/rig/pymodbus_rig.py):
// a peer written by others, so word order and addressing are checked, not assumed.
#include "rig/modbus_rig.h"
#include "rig/operator_rig.h"
#include "rig/rig_factory.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>
#include <signal.h>

namespace {

constexpr int DeadlineMs = 20000;

// Everything a rig said, in order.
struct Heard
{
    explicit Heard(TRig *rig)
    {
        QObject::connect(rig, &TRig::opened, rig, [this] { ++opened; });
        QObject::connect(rig, &TRig::flowSet, rig, [this](double f) { flowSet.push_back(f); });
        QObject::connect(rig, &TRig::temperatureSet, rig, [this](double t) { temperatureSet.push_back(t); });
        QObject::connect(rig, &TRig::reading, rig, [this](const RigReading &r) { readings.push_back(r); });
        QObject::connect(rig, &TRig::failed, rig, [this](const QString &m) { failures << m; });
    }
    int answers() const { return int(flowSet.size() + temperatureSet.size() + readings.size()) + failures.size(); }

    int opened = 0;
    std::vector<double> flowSet;
    std::vector<double> temperatureSet;
    std::vector<RigReading> readings;
    QStringList failures;
};

class PymodbusRig : public ::testing::Test
{
protected:
    void TearDown() override { stopServer(); }

    // The server binds a free port itself and names it.
    void startServer(int *port, const QStringList &options = {})
    {
        const QString script = QStringLiteral(KESTRO_RIG_PEER);
        server_.start(QStringLiteral("/usr/bin/python3"), QStringList{script, QStringLiteral("--port"), QStringLiteral("0")} + options);
        QByteArray out;
        (void)QTest::qWaitFor(
            [&] {
                out += server_.readAllStandardOutput();
                return out.contains('\n') || server_.state() == QProcess::NotRunning;
            },
            DeadlineMs);
        const QList<QByteArray> words = out.trimmed().split(' ');
        ASSERT_EQ(words.value(0), QByteArray("listening")) << out.constData() << server_.readAllStandardError().constData();
        *port = words.value(1).toInt();
        ASSERT_GT(*port, 0);
    }

    void stopServer()
    {
        if (server_.state() != QProcess::NotRunning) {
            server_.kill();
            server_.waitForFinished(DeadlineMs);
        }
    }

    static RigConfig configAt(int port)
    {
        QString error;
        auto config = ParseRigName(QStringLiteral("modbus:tcp://127.0.0.1:%1").arg(port), &error);
        EXPECT_TRUE(config) << error.toStdString();
        return config.value_or(RigConfig{});
    }

    static void openRig(TRig &rig, Heard &heard)
    {
        rig.open();
        (void)QTest::qWaitFor([&] { return heard.opened > 0 || !heard.failures.isEmpty(); }, DeadlineMs);
        ASSERT_EQ(heard.opened, 1) << heard.failures.join(QLatin1Char('\n')).toStdString();
        ASSERT_TRUE(rig.isOpen());
    }

    // One request, one answer.
    static void answered(Heard &heard, const std::function<void()> &request)
    {
        const int before = heard.answers();
        request();
        (void)QTest::qWaitFor([&] { return heard.answers() > before; }, DeadlineMs);
        ASSERT_EQ(heard.answers(), before + 1);
    }

    // Reads until both readings are within 2 % of the target, or the deadline.
    static void readUntilWithin2Percent(TRig &rig, Heard &heard, double target)
    {
        QElapsedTimer clock;
        clock.start();
        auto within = [target](double v) { return std::abs(v - target) < 0.02 * target; };
        auto settled = [&] {
            const auto &r = heard.readings;
            return !r.empty() && within(r.back().referenceFlow) && within(r.back().rigFlow.value_or(0.0));
        };
        while (clock.elapsed() < DeadlineMs && !settled()) {
            answered(heard, [&] { rig.readReference(); });
            ASSERT_TRUE(heard.failures.isEmpty()) << heard.failures.join(QLatin1Char('\n')).toStdString();
            QTest::qWait(100);
        }
        ASSERT_FALSE(heard.readings.empty());
        const RigReading last = heard.readings.back();
        EXPECT_TRUE(within(last.referenceFlow)) << last.referenceFlow << " for " << target;
        ASSERT_TRUE(last.rigFlow);
        EXPECT_TRUE(within(*last.rigFlow)) << *last.rigFlow << " for " << target;
    }

    QProcess server_;
};

class RigWordOrder : public PymodbusRig, public ::testing::WithParamInterface<WordOrder>
{
};

TEST_P(RigWordOrder, TheReferenceFollowsTheSetPointTheDriverWrote)
{
    // The reference reads 1 % high, so the two values of a reading cannot pass for each other.
    int port = 0;
    ASSERT_NO_FATAL_FAILURE(startServer(
        &port, {QStringLiteral("--word-order"), WordOrderName(GetParam()), QStringLiteral("--bias"), QStringLiteral("0.01")}));
    RigConfig config = configAt(port);
    config.map.wordOrder = GetParam();
    const std::unique_ptr<TRig> rig = MakeRig(config);
    ASSERT_TRUE(rig->setsFlow() && rig->readsReference());
    Heard heard(rig.get());
    openRig(*rig, heard);

    answered(heard, [&] { rig->setFlow(500.0); });
    ASSERT_EQ(heard.flowSet, std::vector<double>{500.0}) << heard.failures.join(QLatin1Char('\n')).toStdString();

    ASSERT_NO_FATAL_FAILURE(readUntilWithin2Percent(*rig, heard, 500.0));
    const RigReading last = heard.readings.back();
    EXPECT_NEAR(last.referenceFlow / *last.rigFlow, 1.01, 0.006);
    // The rig's lag was seen: the flow did not jump to the set point.
    EXPECT_LT(heard.readings.front().referenceFlow, 490.0);
}

INSTANTIATE_TEST_SUITE_P(Both, RigWordOrder, ::testing::Values(WordOrder::HighFirst, WordOrder::LowFirst),
                         [](const auto &info) { return WordOrderName(info.param).toStdString(); });

// The rig keeps its own units: kg/h = the set point's float × its scale, and the
// readings' floats × theirs. The flow the rig runs is the one asked for.
TEST_F(PymodbusRig, EachRegistersScaleHoldsBothWays)
{
    const struct
    {
        double setpointScale, readingScale;
    } cases[] = {{2.0, 1.0}, {0.5, 4.0}};
    for (const auto &c : cases) {
        int port = 0;
        ASSERT_NO_FATAL_FAILURE(startServer(&port, {QStringLiteral("--setpoint-scale"), QString::number(c.setpointScale),
                                                    QStringLiteral("--reading-scale"), QString::number(c.readingScale)}));
        RigConfig config = configAt(port);
        config.map.setpoint->scale = c.setpointScale;
        config.map.reference.scale = c.readingScale;
        config.map.rigFlow->scale = c.readingScale;
        TModbusRig rig(config);
        Heard heard(&rig);
        openRig(rig, heard);
        answered(heard, [&] { rig.setFlow(400.0); });
        ASSERT_EQ(heard.flowSet, std::vector<double>{400.0}) << heard.failures.join(QLatin1Char('\n')).toStdString();
        ASSERT_NO_FATAL_FAILURE(readUntilWithin2Percent(rig, heard, 400.0)) << c.setpointScale << " " << c.readingScale;
        stopServer();
    }
}

// °C = the set point's float × its scale, and the thermometer's float × its own; the
// thermometer comes with every reading, in the reference's request where it is its
// neighbour and in one of its own where it is not.
TEST_F(PymodbusRig, TheThermometerFollowsTheTemperatureSetPointInEachRegistersScale)
{
    const struct
    {
        double setpointScale, thermometerScale;
        quint16 thermometerAt;
    } cases[] = {{0.1, 0.01, 4}, {2.0, 0.5, 6}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.thermometerAt);
        int port = 0;
        ASSERT_NO_FATAL_FAILURE(startServer(
            &port, {QStringLiteral("--temperature-setpoint-scale"), QString::number(c.setpointScale),
                    QStringLiteral("--thermometer-scale"), QString::number(c.thermometerScale),
                    QStringLiteral("--thermometer-at"), QString::number(c.thermometerAt), QStringLiteral("--tau"),
                    QStringLiteral("0.2")}));
        RigConfig config = configAt(port);
        config.map.temperatureSetpoint->scale = c.setpointScale;
        config.map.referenceTemperature = RigRegister{RegisterTable::Input, c.thermometerAt, c.thermometerScale};
        const std::unique_ptr<TRig> rig = MakeRig(config);
        ASSERT_TRUE(rig->setsTemperature() && rig->readsTemperature());
        Heard heard(rig.get());
        openRig(*rig, heard);
        answered(heard, [&] { rig->readReference(); });
        ASSERT_EQ(heard.readings.size(), 1u) << heard.failures.join(QLatin1Char('\n')).toStdString();
        ASSERT_TRUE(heard.readings[0].referenceTemperature);
        EXPECT_NEAR(*heard.readings[0].referenceTemperature, 20.0, 0.01);
        EXPECT_TRUE(heard.readings[0].rigFlow);

        answered(heard, [&] { rig->setTemperature(60.0); });
        ASSERT_EQ(heard.temperatureSet, std::vector<double>{60.0}) << heard.failures.join(QLatin1Char('\n')).toStdString();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < DeadlineMs && std::abs(heard.readings.back().referenceTemperature.value_or(0) - 60.0) > 0.1) {
            answered(heard, [&] { rig->readReference(); });
            ASSERT_TRUE(heard.failures.isEmpty()) << heard.failures.join(QLatin1Char('\n')).toStdString();
            QTest::qWait(50);
        }
        EXPECT_NEAR(heard.readings.back().referenceTemperature.value_or(0), 60.0, 0.1);
        stopServer();
    }
}

// Refused before anything is sent: the rig is never asked for what it cannot be.
TEST_F(PymodbusRig, ATemperatureSetPointOutOfRangeOrWithoutARegisterIsRefusedByName)
{
    int port = 0;
    ASSERT_NO_FATAL_FAILURE(startServer(&port));
    const struct
    {
        double celsius;
        bool withRegister;
        const char *message;
    } cases[] = {
        {std::nan(""), true, "Уставка температуры nan °C: температура не число"},
        {200.5, true, "Уставка температуры 200,5 °C: температура вне пределов -50…200 °C"},
        {-51.0, true, "Уставка температуры -51 °C: температура вне пределов -50…200 °C"},
        {40.0, false, "Уставка температуры 40 °C: у стенда нет регистра уставки температуры, температуру задаёт оператор"},
    };
    for (const auto &c : cases) {
        RigConfig config = configAt(port);
        if (!c.withRegister)
            config.map.temperatureSetpoint.reset();
        TModbusRig rig(config);
        EXPECT_EQ(rig.setsTemperature(), c.withRegister);
        Heard heard(&rig);
        openRig(rig, heard);
        answered(heard, [&] { rig.setTemperature(c.celsius); });
        EXPECT_EQ(heard.failures, QStringList{QString::fromUtf8(c.message)});
        EXPECT_TRUE(heard.temperatureSet.empty());
    }
    // None of them reached the rig: its fluid is still at 20 °C.
    TModbusRig rig(configAt(port));
    Heard heard(&rig);
    openRig(rig, heard);
    answered(heard, [&] { rig.readReference(); });
    ASSERT_EQ(heard.readings.size(), 1u) << heard.failures.join(QLatin1Char('\n')).toStdString();
    EXPECT_NEAR(heard.readings[0].referenceTemperature.value_or(0), 20.0, 0.01);
}

TEST_F(PymodbusRig, AnAddressTheRigLacksIsNamedWithItsModbusException)
{
    int port = 0;
    ASSERT_NO_FATAL_FAILURE(startServer(&port));
    const struct
    {
        const char *what;
        quint16 reference, rigFlow, setpoint, thermometer;
        bool write;
        const char *message;
    } cases[] = {
        {"reference", 40, 2, 0, 4, false, "Чтение эталона: Modbus: исключение 2 — недопустимый адрес данных (регистр 40)"},
        {"rig flow read apart", 0, 41, 0, 4, false,
         "Чтение расхода стенда: Modbus: исключение 2 — недопустимый адрес данных (регистр 41)"},
        {"set point", 0, 2, 40, 4, true, "Уставка 500 кг/ч: Modbus: исключение 2 — недопустимый адрес данных (регистр 40)"},
        {"thermometer read apart", 0, 2, 0, 40, false,
         "Чтение термометра стенда: Modbus: исключение 2 — недопустимый адрес данных (регистр 40)"},
    };
    for (const auto &c : cases) {
        RigConfig config = configAt(port);
        config.map.reference.address = c.reference;
        config.map.rigFlow->address = c.rigFlow;
        config.map.setpoint->address = c.setpoint;
        config.map.referenceTemperature->address = c.thermometer;
        TModbusRig rig(config);
        Heard heard(&rig);
        openRig(rig, heard);
        answered(heard, [&] { c.write ? rig.setFlow(500.0) : rig.readReference(); });
        EXPECT_EQ(heard.failures, QStringList{QString::fromUtf8(c.message)}) << c.what;
        EXPECT_TRUE(heard.readings.empty() && heard.flowSet.empty()) << c.what;
    }
}

TEST_F(PymodbusRig, ARigKilledOrFrozenGivesFailuresNeverAReading)
{
    const struct
    {
        int signal;
        const char *cause;
    } cases[] = {{SIGKILL, "связь со стендом потеряна"}, {SIGSTOP, "стенд не ответил за 300 мс (попыток: 2)"}};
    for (const auto &c : cases) {
        int port = 0;
        ASSERT_NO_FATAL_FAILURE(startServer(&port));
        RigConfig config = configAt(port);
        config.map.responseTimeoutMs = 300;
        config.map.reconnectMs = 1500;
        TModbusRig rig(config);
        Heard heard(&rig);
        openRig(rig, heard);
        answered(heard, [&] { rig.readReference(); });
        ASSERT_EQ(heard.readings.size(), 1u) << c.cause;

        ASSERT_EQ(::kill(pid_t(server_.processId()), c.signal), 0);
        rig.readReference();
        (void)QTest::qWaitFor([&] { return !heard.failures.isEmpty(); }, DeadlineMs);
        ASSERT_FALSE(heard.failures.isEmpty()) << c.cause;
        EXPECT_TRUE(heard.failures[0].contains(QString::fromUtf8(c.cause))) << heard.failures[0].toStdString();
        // Later requests fail too, each once.
        answered(heard, [&] { rig.readReference(); });
        EXPECT_EQ(heard.readings.size(), 1u) << c.cause;
        EXPECT_EQ(heard.failures.size(), 2) << heard.failures.join(QLatin1Char('\n')).toStdString();
        stopServer();
    }
}

TEST_F(PymodbusRig, NobodyListeningFailsTheOpen)
{
    // Find a port nobody serves: the server's, once it is gone.
    int port = 0;
    ASSERT_NO_FATAL_FAILURE(startServer(&port));
    stopServer();
    TModbusRig rig(configAt(port));
    Heard heard(&rig);
    rig.open();
    (void)QTest::qWaitFor([&] { return !heard.failures.isEmpty(); }, DeadlineMs);
    ASSERT_EQ(heard.failures.size(), 1);
    EXPECT_TRUE(heard.failures[0].startsWith(QStringLiteral("Нет связи со стендом (Modbus TCP 127.0.0.1:%1").arg(port)))
        << heard.failures[0].toStdString();
    EXPECT_EQ(heard.opened, 0);
    EXPECT_FALSE(rig.isOpen());
}

TEST(RigWithoutSetPoint, TheOperatorSetsTheFlowAndTheRunNeverAsksTheRig)
{
    QString error;
    RigConfig modbus = *ParseRigName(QStringLiteral("modbus:tcp://127.0.0.1:9"), &error);
    modbus.map.setpoint.reset();
    const struct
    {
        RigConfig config;
        bool readsReference;
        const char *setFlowFailure;
    } cases[] = {
        {*ParseRigName(QStringLiteral("operator"), &error), false, "ввод оператора"},
        {modbus, true, "нет регистра уставки"},
    };
    for (const auto &c : cases) {
        const std::unique_ptr<TRig> rig = MakeRig(c.config);
        EXPECT_EQ(rig->kind(), c.config.kindName());
        EXPECT_FALSE(rig->setsFlow()) << rig->kind().toStdString();
        EXPECT_EQ(rig->readsReference(), c.readsReference);
        Heard heard(rig.get());
        rig->setFlow(500.0);
        // Answered later, never inside the call.
        EXPECT_TRUE(heard.failures.isEmpty());
        (void)QTest::qWaitFor([&] { return !heard.failures.isEmpty(); }, DeadlineMs);
        ASSERT_EQ(heard.failures.size(), 1);
        EXPECT_TRUE(heard.failures[0].contains(QString::fromUtf8(c.setFlowFailure))) << heard.failures[0].toStdString();
    }
    TOperatorRig manual;
    Heard heard(&manual);
    manual.open();
    manual.readReference();
    (void)QTest::qWaitFor([&] { return heard.answers() > 0 && heard.opened > 0; }, DeadlineMs);
    EXPECT_EQ(heard.opened, 1);
    EXPECT_TRUE(manual.isOpen());
    ASSERT_EQ(heard.failures.size(), 1);
    EXPECT_TRUE(heard.failures[0].contains(QStringLiteral("ввод оператора")));
}

} // namespace
