#include "rig/rig_config.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

TEST(RigSpec, AcceptedFormsGiveKindAndAddress)
{
    using K = RigConfig::Kind;
    const struct
    {
        const char *rigName;
        K kind;
        const char *host;
        int port;
        const char *device;
    } cases[] = {
        {"sim", K::Sim, "127.0.0.1", SimRigMap::DefaultPort, ""},
        {"sim:1600", K::Sim, "127.0.0.1", 1600, ""},
        {" operator ", K::Operator, "127.0.0.1", SimRigMap::DefaultPort, ""},
        {"modbus:tcp://10.0.0.5", K::ModbusTcp, "10.0.0.5", 502, ""},
        {"modbus:tcp://rig.local:1502", K::ModbusTcp, "rig.local", 1502, ""},
        {"modbus:tcp://[::1]:5020", K::ModbusTcp, "::1", 5020, ""},
        {"modbus:rtu:/dev/ttyUSB0", K::ModbusRtu, "127.0.0.1", SimRigMap::DefaultPort, "/dev/ttyUSB0"},
    };
    for (const auto &c : cases) {
        QString error;
        const auto config = ParseRigName(QString::fromUtf8(c.rigName), &error);
        ASSERT_TRUE(config) << c.rigName << ": " << error.toStdString();
        EXPECT_EQ(config->kind, c.kind) << c.rigName;
        EXPECT_EQ(config->host, QString::fromUtf8(c.host)) << c.rigName;
        EXPECT_EQ(config->port, c.port) << c.rigName;
        EXPECT_EQ(config->device, QString::fromUtf8(c.device)) << c.rigName;
        EXPECT_EQ(config->map, RigRegisterMap{}) << c.rigName;
    }
}

TEST(RigSpec, RefusalQuotesTheSpecAndListsTheForms)
{
    const char *refused[] = {"",
                             "simulator",
                             "sim:0",
                             "sim:70000",
                             "sim:abc",
                             "sim:+5",
                             "modbus:tcp://",
                             "modbus:tcp://rig:0",
                             "modbus:tcp://rig:99999",
                             "modbus:tcp://rig/path",
                             "modbus:tcp://user@rig",
                             "modbus:rtu:",
                             "modbus:udp://rig"};
    for (const char *rigName : refused) {
        QString error;
        EXPECT_FALSE(ParseRigName(QString::fromUtf8(rigName), &error)) << rigName;
        EXPECT_TRUE(error.contains(QStringLiteral("«%1»").arg(QString::fromUtf8(rigName)))) << error.toStdString();
        for (const char *form : {"sim:ПОРТ", "modbus:tcp://ХОСТ[:ПОРТ]", "modbus:rtu:УСТРОЙСТВО", "operator"})
            EXPECT_TRUE(error.contains(QString::fromUtf8(form))) << rigName << ": " << error.toStdString();
    }
}

QJsonObject fullMap()
{
    return QJsonDocument::fromJson(R"({
        "version": 1, "unit_id": 7, "word_order": "CDAB",
        "reference": {"table": "holding", "address": 100, "scale": 3600},
        "setpoint": {"address": 200, "scale": 0.5},
        "rig_flow": {"table": "input", "address": 300, "scale": 2},
        "temperature_setpoint": {"address": 202, "scale": 0.1},
        "reference_temperature": {"table": "holding", "address": 102, "scale": 0.01},
        "timeout_ms": 250, "retries": 3, "reconnect_ms": 2500, "idle_setpoint": 12.5,
        "serial": {"baud": 9600, "parity": "even", "data_bits": 7, "stop_bits": 2}
    })")
        .object();
}

void setIn(QJsonObject &o, const QString &section, const QString &key, const QJsonValue &v)
{
    QJsonObject inner = o.value(section).toObject();
    inner.insert(key, v);
    o.insert(section, inner);
}

TEST(RigMapFile, EveryFieldIsReadAndWrittenBackTheSameWay)
{
    QString error;
    const auto map = ParseRigMap(QJsonDocument(fullMap()).toJson(), &error);
    ASSERT_TRUE(map) << error.toStdString();
    EXPECT_EQ(map->unitId, 7);
    EXPECT_EQ(map->wordOrder, WordOrder::LowFirst);
    EXPECT_EQ(map->reference, (RigRegister{RegisterTable::Holding, 100, 3600}));
    EXPECT_EQ(map->setpoint, (RigRegister{RegisterTable::Holding, 200, 0.5}));
    EXPECT_EQ(map->rigFlow, (RigRegister{RegisterTable::Input, 300, 2}));
    EXPECT_EQ(map->temperatureSetpoint, (RigRegister{RegisterTable::Holding, 202, 0.1}));
    EXPECT_EQ(map->referenceTemperature, (RigRegister{RegisterTable::Holding, 102, 0.01}));
    EXPECT_EQ(map->responseTimeoutMs, 250);
    EXPECT_EQ(map->retries, 3);
    EXPECT_EQ(map->reconnectMs, 2500);
    EXPECT_EQ(map->idleSetpoint, 12.5);
    EXPECT_EQ(map->serial, (RigSerialSettings{9600, SerialParity::Even, 7, 2}));
    EXPECT_EQ(map->toJson(), fullMap());
}

TEST(RigMapFile, AMinimalFileHasNoSetPointsNoRigFlowAndNoThermometer)
{
    QString error;
    const auto map =
        ParseRigMap(R"({"version": 1, "reference": {"address": 4}, "setpoint": null})", &error);
    ASSERT_TRUE(map) << error.toStdString();
    EXPECT_EQ(map->reference, (RigRegister{RegisterTable::Input, 4, 1.0}));
    EXPECT_FALSE(map->setpoint);
    EXPECT_FALSE(map->rigFlow);
    EXPECT_FALSE(map->temperatureSetpoint);
    EXPECT_FALSE(map->referenceTemperature);
    EXPECT_EQ(map->responseTimeoutMs, 1000);
    EXPECT_EQ(map->retries, 1);
    EXPECT_EQ(map->idleSetpoint, 0.0);
    EXPECT_EQ(map->serial, RigSerialSettings{});
    const auto back = ParseRigMap(QJsonDocument(map->toJson()).toJson(), &error);
    ASSERT_TRUE(back) << error.toStdString();
    EXPECT_EQ(*back, *map);
}

TEST(RigMapFile, EachRefusalNamesItsField)
{
    const struct
    {
        std::function<void(QJsonObject &)> change;
        const char *message;
    } cases[] = {
        {[](QJsonObject &o) { o.insert("colour", "red"); }, "colour: неизвестное поле"},
        {[](QJsonObject &o) { o.remove("version"); }, "version: поле обязательно"},
        {[](QJsonObject &o) { o.insert("version", 2); }, "version: ожидается целое 1…1"},
        {[](QJsonObject &o) { o.insert("unit_id", 0); }, "unit_id: ожидается целое 1…255"},
        {[](QJsonObject &o) { o.insert("word_order", "BADC"); }, "word_order: ожидается одно из: \"ABCD\", \"CDAB\""},
        {[](QJsonObject &o) { o.insert("timeout_ms", 10); }, "timeout_ms: ожидается целое 50…60000"},
        {[](QJsonObject &o) { o.insert("retries", -1); }, "retries: ожидается целое 0…10"},
        {[](QJsonObject &o) { o.insert("reconnect_ms", -1); }, "reconnect_ms: ожидается целое 0…600000"},
        {[](QJsonObject &o) { o.insert("idle_setpoint", "0"); }, "idle_setpoint: ожидается число"},
        {[](QJsonObject &o) { o.insert("setpoint", QJsonValue::Null); },
         "idle_setpoint: у стенда нет регистра уставки (setpoint: null)"},
        {[](QJsonObject &o) { o.remove("reference"); }, "reference: поле обязательно"},
        {[](QJsonObject &o) { o.insert("reference", QJsonArray{0}); }, "reference: ожидается объект"},
        {[](QJsonObject &o) { setIn(o, "reference", "tabel", "input"); }, "reference.tabel: неизвестное поле"},
        {[](QJsonObject &o) { setIn(o, "reference", "address", "40"); }, "reference.address: ожидается целое 0…65534"},
        {[](QJsonObject &o) { setIn(o, "reference", "address", 65535); }, "reference.address: ожидается целое 0…65534"},
        {[](QJsonObject &o) { setIn(o, "reference", "address", 1.5); }, "reference.address: ожидается целое 0…65534"},
        {[](QJsonObject &o) { setIn(o, "reference", "table", "coil"); },
         "reference.table: ожидается одно из: \"input\", \"holding\""},
        {[](QJsonObject &o) { setIn(o, "reference", "scale", 0); }, "reference.scale: ожидается число больше 0"},
        {[](QJsonObject &o) { o.remove("setpoint"); }, "setpoint: поле обязательно (null — расход задаёт оператор)"},
        {[](QJsonObject &o) { o.insert("setpoint", 5); }, "setpoint: ожидается объект"},
        {[](QJsonObject &o) { setIn(o, "setpoint", "table", "holding"); }, "setpoint.table: неизвестное поле"},
        {[](QJsonObject &o) { setIn(o, "setpoint", "scale", -2); }, "setpoint.scale: ожидается число больше 0"},
        {[](QJsonObject &o) { setIn(o, "rig_flow", "address", -2); }, "rig_flow.address: ожидается целое 0…65534"},
        {[](QJsonObject &o) { o.insert("temperature_setpoint", 20); }, "temperature_setpoint: ожидается объект"},
        {[](QJsonObject &o) { setIn(o, "temperature_setpoint", "table", "holding"); },
         "temperature_setpoint.table: неизвестное поле"},
        {[](QJsonObject &o) { setIn(o, "temperature_setpoint", "scale", 0); },
         "temperature_setpoint.scale: ожидается число больше 0"},
        {[](QJsonObject &o) { o.insert("temperature_setpoint", QJsonObject{{"scale", 1}}); },
         "temperature_setpoint.address: поле обязательно"},
        {[](QJsonObject &o) { setIn(o, "reference_temperature", "table", "coil"); },
         "reference_temperature.table: ожидается одно из: \"input\", \"holding\""},
        {[](QJsonObject &o) { setIn(o, "reference_temperature", "address", 65535); },
         "reference_temperature.address: ожидается целое 0…65534"},
        {[](QJsonObject &o) { setIn(o, "reference_temperature", "scale", "0.1"); },
         "reference_temperature.scale: ожидается число больше 0"},
        {[](QJsonObject &o) { setIn(o, "serial", "baud", 12345); },
         "serial.baud: ожидается одно из: 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200"},
        {[](QJsonObject &o) { setIn(o, "serial", "parity", "mark"); },
         "serial.parity: ожидается одно из: \"none\", \"even\", \"odd\""},
        {[](QJsonObject &o) { setIn(o, "serial", "stop_bits", 3); }, "serial.stop_bits: ожидается целое 1…2"},
    };
    for (const auto &c : cases) {
        QJsonObject map = fullMap();
        c.change(map);
        QString error;
        EXPECT_FALSE(ParseRigMap(QJsonDocument(map).toJson(), &error)) << c.message;
        EXPECT_EQ(error, QString::fromUtf8(c.message));
    }
    QString error;
    EXPECT_FALSE(ParseRigMap("[1]", &error));
    EXPECT_EQ(error, QStringLiteral("ожидается объект JSON"));
    EXPECT_FALSE(ParseRigMap("{\"version\": 1,", &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("не JSON"))) << error.toStdString();
}

TEST(RigConfigFromUser, AMapFileGoesOnlyWithAModbusRigAndItsErrorsNameTheFile)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("rig.json"));
    const QString bad = dir.filePath(QStringLiteral("bad.json"));
    for (const auto &[path, map] : {std::pair{good, fullMap()}, std::pair{bad, QJsonObject{{"version", 1}}}}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(map).toJson());
    }
    QString error;
    const auto config = MakeRigConfig(QStringLiteral("modbus:tcp://rig"), good, &error);
    ASSERT_TRUE(config) << error.toStdString();
    EXPECT_EQ(config->map.unitId, 7);
    EXPECT_EQ(config->toJson().value("map").toObject(), fullMap());
    EXPECT_EQ(config->toJson().value("host").toString(), QStringLiteral("rig"));

    EXPECT_FALSE(MakeRigConfig(QStringLiteral("modbus:rtu:/dev/ttyUSB0"), bad, &error));
    EXPECT_TRUE(error.contains(bad) && error.contains(QStringLiteral("reference: поле обязательно")))
        << error.toStdString();
    for (const char *rigName : {"sim", "operator"}) {
        EXPECT_FALSE(MakeRigConfig(QString::fromUtf8(rigName), good, &error)) << rigName;
        EXPECT_TRUE(error.contains(QStringLiteral("только для стенда Modbus"))) << error.toStdString();
    }
    EXPECT_FALSE(MakeRigConfig(QStringLiteral("modbus:tcp://rig"), dir.filePath(QStringLiteral("none.json")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("не читается"))) << error.toStdString();
}

} // namespace
