#include "rig/rig_config.h"
#include "rig/json_file.h"
#include "rig/rig_kinds.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QStringList>
#include <QUrl>
#include <cmath>
#include <initializer_list>

namespace {

constexpr int MapVersion = 1;
constexpr int DefaultModbusTcpPort = 502;
// A float takes two registers, so the last one cannot start a pair.
constexpr int LastPairAddress = 65534;
constexpr int StandardBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// "sim, sim:ПОРТ, modbus:tcp://ХОСТ[:ПОРТ], modbus:rtu:УСТРОЙСТВО, operator"
QString acceptedForms()
{
    QStringList forms;
    for (const RigKind &k : RigKinds()) {
        if (k.bare)
            forms << QLatin1String(k.bare);
        if (k.prefix)
            forms << QLatin1String(k.prefix) + QString::fromUtf8(k.value);
    }
    return forms.join(QStringLiteral(", "));
}

QString tableName(RegisterTable t)
{
    return t == RegisterTable::Input ? QStringLiteral("input") : QStringLiteral("holding");
}

QString parityName(SerialParity p)
{
    switch (p) {
    case SerialParity::Even: return QStringLiteral("even");
    case SerialParity::Odd: return QStringLiteral("odd");
    case SerialParity::None: break;
    }
    return QStringLiteral("none");
}

QString path(const QString &prefix, const QString &key)
{
    return prefix.isEmpty() ? key : prefix + QLatin1Char('.') + key;
}

// Reads one JSON object field by field; the first refusal names its field and stops the rest.
class FieldReader
{
public:
    FieldReader(const QJsonObject &object, QString prefix, QString *error)
        : o_(object), prefix_(std::move(prefix)), error_(error)
    {
    }

    bool onlyKnown(std::initializer_list<const char *> known)
    {
        for (const QString &key : o_.keys()) {
            bool found = false;
            for (const char *k : known)
                found = found || key == QLatin1String(k);
            if (!found)
                return fail(key, QStringLiteral("неизвестное поле"));
        }
        return true;
    }

    bool has(const char *key) const { return o_.contains(QLatin1String(key)); }
    QJsonValue value(const char *key) const { return o_.value(QLatin1String(key)); }
    QString pathOf(const char *key) const { return path(prefix_, QLatin1String(key)); }

    bool require(const char *key, const QString &hint = {})
    {
        if (has(key))
            return true;
        return fail(QLatin1String(key), hint.isEmpty() ? QStringLiteral("поле обязательно")
                                                       : QStringLiteral("поле обязательно (%1)").arg(hint));
    }

    // Absent: *out keeps its default.
    bool integer(const char *key, int lo, int hi, int *out)
    {
        if (!has(key))
            return true;
        const QJsonValue v = value(key);
        const double d = v.toDouble();
        if (!v.isDouble() || d != std::floor(d) || d < lo || d > hi)
            return fail(QLatin1String(key), QStringLiteral("ожидается целое %1…%2").arg(lo).arg(hi));
        *out = int(d);
        return true;
    }

    bool positive(const char *key, double *out)
    {
        if (!has(key))
            return true;
        const QJsonValue v = value(key);
        if (!v.isDouble() || !std::isfinite(v.toDouble()) || v.toDouble() <= 0.0)
            return fail(QLatin1String(key), QStringLiteral("ожидается число больше 0"));
        *out = v.toDouble();
        return true;
    }

    bool finite(const char *key, double *out)
    {
        if (!has(key))
            return true;
        const QJsonValue v = value(key);
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            return fail(QLatin1String(key), QStringLiteral("ожидается число"));
        *out = v.toDouble();
        return true;
    }

    // One of the names; *index is the chosen one's position.
    bool choice(const char *key, const QStringList &names, int *index)
    {
        if (!has(key))
            return true;
        const int i = names.indexOf(value(key).toString());
        if (!value(key).isString() || i < 0)
            return fail(QLatin1String(key),
                        QStringLiteral("ожидается одно из: \"%1\"").arg(names.join(QStringLiteral("\", \""))));
        *index = i;
        return true;
    }

    bool fail(const QString &key, const QString &what)
    {
        *error_ = path(prefix_, key) + QStringLiteral(": ") + what;
        return false;
    }

private:
    QJsonObject o_;
    QString prefix_;
    QString *error_;
};

bool readRegister(const QJsonValue &v, const QString &where, bool withTable, RigRegister *out, QString *error)
{
    if (!v.isObject()) {
        *error = where + QStringLiteral(": ожидается объект");
        return false;
    }
    FieldReader r(v.toObject(), where, error);
    const bool known = withTable ? r.onlyKnown({"table", "address", "scale"}) : r.onlyKnown({"address", "scale"});
    if (!known || !r.require("address"))
        return false;
    int table = out->table == RegisterTable::Input ? 0 : 1;
    int address = 0;
    if (withTable && !r.choice("table", {QStringLiteral("input"), QStringLiteral("holding")}, &table))
        return false;
    if (!r.integer("address", 0, LastPairAddress, &address) || !r.positive("scale", &out->scale))
        return false;
    out->table = table == 0 ? RegisterTable::Input : RegisterTable::Holding;
    out->address = quint16(address);
    return true;
}

// Absent or null: none. A pair without a table is in `table`.
bool readOptionalRegister(const FieldReader &r, const char *key, RegisterTable table, bool withTable,
                          std::optional<RigRegister> *out, QString *error)
{
    out->reset();
    if (!r.has(key) || r.value(key).isNull())
        return true;
    RigRegister reg{table, 0, 1.0};
    if (!readRegister(r.value(key), r.pathOf(key), withTable, &reg, error))
        return false;
    *out = reg;
    return true;
}

QJsonObject registerJson(const RigRegister &reg, bool withTable)
{
    QJsonObject o{{QStringLiteral("address"), int(reg.address)}, {QStringLiteral("scale"), reg.scale}};
    if (withTable)
        o.insert(QStringLiteral("table"), tableName(reg.table));
    return o;
}

bool readSerial(const QJsonValue &v, RigSerialSettings *out, QString *error)
{
    if (!v.isObject()) {
        *error = QStringLiteral("serial: ожидается объект");
        return false;
    }
    FieldReader r(v.toObject(), QStringLiteral("serial"), error);
    if (!r.onlyKnown({"baud", "parity", "data_bits", "stop_bits"}))
        return false;
    if (r.has("baud")) {
        const double baud = r.value("baud").toDouble();
        bool standard = false;
        QStringList names;
        for (int b : StandardBauds) {
            standard = standard || (r.value("baud").isDouble() && baud == b);
            names << QString::number(b);
        }
        if (!standard)
            return r.fail(QStringLiteral("baud"), QStringLiteral("ожидается одно из: %1").arg(names.join(QStringLiteral(", "))));
        out->baud = int(baud);
    }
    int parity = int(out->parity);
    if (!r.choice("parity", {QStringLiteral("none"), QStringLiteral("even"), QStringLiteral("odd")}, &parity)
        || !r.integer("data_bits", 7, 8, &out->dataBits) || !r.integer("stop_bits", 1, 2, &out->stopBits))
        return false;
    out->parity = SerialParity(parity);
    return true;
}

std::optional<RigConfig> refuseRigName(const QString &rigName, const QString &why, QString *error)
{
    *error = QStringLiteral("Стенд «%1»: %2. Допустимо: %3").arg(rigName, why, acceptedForms());
    return std::nullopt;
}

} // namespace

QJsonObject RigRegisterMap::toJson() const
{
    auto optionalRegister = [](const std::optional<RigRegister> &reg, bool withTable) {
        return reg ? QJsonValue(registerJson(*reg, withTable)) : QJsonValue(QJsonValue::Null);
    };
    return QJsonObject{
        {QStringLiteral("version"), MapVersion},
        {QStringLiteral("unit_id"), unitId},
        {QStringLiteral("word_order"), WordOrderName(wordOrder)},
        {QStringLiteral("reference"), registerJson(reference, true)},
        {QStringLiteral("setpoint"), optionalRegister(setpoint, false)},
        {QStringLiteral("rig_flow"), optionalRegister(rigFlow, true)},
        {QStringLiteral("temperature_setpoint"), optionalRegister(temperatureSetpoint, false)},
        {QStringLiteral("reference_temperature"), optionalRegister(referenceTemperature, true)},
        {QStringLiteral("timeout_ms"), responseTimeoutMs},
        {QStringLiteral("retries"), retries},
        {QStringLiteral("reconnect_ms"), reconnectMs},
        {QStringLiteral("idle_setpoint"), idleSetpoint},
        {QStringLiteral("serial"),
         QJsonObject{{QStringLiteral("baud"), serial.baud},
                     {QStringLiteral("parity"), parityName(serial.parity)},
                     {QStringLiteral("data_bits"), serial.dataBits},
                     {QStringLiteral("stop_bits"), serial.stopBits}}},
    };
}

std::optional<RigRegisterMap> ParseRigMap(const QByteArray &json, QString *error)
{
    JsonFile::Refusal refusal;
    const std::optional<QJsonObject> top = JsonFile::ParseObject(json, &refusal);
    if (!top) {
        if (refusal.offset >= 0)
            *error = QStringLiteral("не JSON (позиция %1: %2)").arg(refusal.offset).arg(refusal.why);
        else
            *error = refusal.why == QStringLiteral("ожидается объект { … }") ? QStringLiteral("ожидается объект JSON")
                                                                                : refusal.why;
        if (!refusal.field.isEmpty())
            *error = refusal.field + QStringLiteral(": ") + *error;
        return std::nullopt;
    }
    RigRegisterMap map;
    FieldReader r(*top, QString(), error);
    if (!r.onlyKnown({"version", "unit_id", "word_order", "reference", "setpoint", "rig_flow", "temperature_setpoint",
                      "reference_temperature", "timeout_ms", "retries", "reconnect_ms", "idle_setpoint", "serial"})
        || !r.require("version"))
        return std::nullopt;
    int version = 0;
    if (!r.integer("version", MapVersion, MapVersion, &version) || !r.require("reference")
        || !r.require("setpoint", QStringLiteral("null — расход задаёт оператор")))
        return std::nullopt;
    int order = 0;
    if (!r.integer("unit_id", 1, 255, &map.unitId)
        || !r.choice("word_order", {WordOrderName(WordOrder::HighFirst), WordOrderName(WordOrder::LowFirst)}, &order)
        || !r.integer("timeout_ms", 50, 60000, &map.responseTimeoutMs) || !r.integer("retries", 0, 10, &map.retries)
        || !r.integer("reconnect_ms", 0, 600000, &map.reconnectMs) || !r.finite("idle_setpoint", &map.idleSetpoint))
        return std::nullopt;
    map.wordOrder = order == 0 ? WordOrder::HighFirst : WordOrder::LowFirst;
    if (!readRegister(r.value("reference"), QStringLiteral("reference"), true, &map.reference, error))
        return std::nullopt;
    map.setpoint.reset();
    if (!r.value("setpoint").isNull()) {
        RigRegister setpoint{RegisterTable::Holding, 0, 1.0};
        if (!readRegister(r.value("setpoint"), QStringLiteral("setpoint"), false, &setpoint, error))
            return std::nullopt;
        map.setpoint = setpoint;
    }
    if (!map.setpoint && map.idleSetpoint != 0.0) {
        *error = QStringLiteral("idle_setpoint: у стенда нет регистра уставки (setpoint: null)");
        return std::nullopt;
    }
    if (!readOptionalRegister(r, "rig_flow", RegisterTable::Input, true, &map.rigFlow, error)
        || !readOptionalRegister(r, "temperature_setpoint", RegisterTable::Holding, false, &map.temperatureSetpoint, error)
        || !readOptionalRegister(r, "reference_temperature", RegisterTable::Input, true, &map.referenceTemperature, error))
        return std::nullopt;
    if (r.has("serial") && !readSerial(r.value("serial"), &map.serial, error))
        return std::nullopt;
    return map;
}

std::optional<RigRegisterMap> LoadRigMap(const QString &filePath, QString *error)
{
    QString why;
    const std::optional<QByteArray> bytes = JsonFile::ReadSmall(filePath, &why);
    if (!bytes) {
        *error = QStringLiteral("Карта стенда %1 не читается: %2").arg(filePath, why);
        return std::nullopt;
    }
    auto map = ParseRigMap(*bytes, &why);
    if (!map)
        *error = QStringLiteral("Карта стенда %1: %2").arg(filePath, why);
    return map;
}

std::optional<RigConfig> ParseRigName(const QString &rawName, QString *error)
{
    const QString rigName = rawName.trimmed();
    for (const RigKind &k : RigKinds()) {
        RigConfig config;
        config.kind = k.kind;
        if (k.bare && rigName == QLatin1String(k.bare))
            return config;
        if (!k.prefix || !rigName.startsWith(QLatin1String(k.prefix)))
            continue;
        const QString value = rigName.mid(qsizetype(qstrlen(k.prefix)));
        switch (k.kind) {
        case RigConfig::Kind::Sim: {
            bool ok = false;
            config.port = value.toInt(&ok);
            if (!ok || value.startsWith(QLatin1Char('+')) || config.port < 1 || config.port > 65535)
                return refuseRigName(rawName, QStringLiteral("порт должен быть целым 1…65535"), error);
            return config;
        }
        case RigConfig::Kind::ModbusTcp: {
            const QUrl url(QStringLiteral("tcp://") + value, QUrl::StrictMode);
            if (!url.isValid() || url.host().isEmpty() || !url.path().isEmpty() || url.hasQuery() || url.hasFragment()
                || !url.userInfo().isEmpty())
                return refuseRigName(rawName, QStringLiteral("ожидается хост и, если нужно, порт"), error);
            config.host = url.host();
            config.port = url.port(DefaultModbusTcpPort);
            if (config.port < 1)
                return refuseRigName(rawName, QStringLiteral("порт должен быть целым 1…65535"), error);
            return config;
        }
        case RigConfig::Kind::ModbusRtu:
            config.device = value;
            if (config.device.isEmpty())
                return refuseRigName(rawName, QStringLiteral("не указан последовательный порт"), error);
            return config;
        case RigConfig::Kind::Operator: break;
        }
    }
    return refuseRigName(rawName, QStringLiteral("вид стенда не распознан"), error);
}

std::optional<RigConfig> MakeRigConfig(const QString &rigName, const QString &mapPath, QString *error)
{
    auto config = ParseRigName(rigName, error);
    if (!config || mapPath.isEmpty())
        return config;
    if (!config->usesMap()) {
        *error = QStringLiteral("Карта регистров задаётся только для стенда Modbus (modbus:tcp://… или modbus:rtu:…), "
                                "а не для «%1»")
                     .arg(rigName);
        return std::nullopt;
    }
    auto map = LoadRigMap(mapPath, error);
    if (!map)
        return std::nullopt;
    config->map = *map;
    return config;
}

QString RigConfig::kindName() const
{
    for (const RigKind &k : RigKinds()) {
        if (k.kind == kind)
            return QLatin1String(k.key);
    }
    return QStringLiteral("sim");
}

QJsonObject RigConfig::toJson() const
{
    QJsonObject o{{QStringLiteral("kind"), kindName()}};
    if (kind == Kind::Operator)
        return o;
    if (kind == Kind::ModbusRtu) {
        o.insert(QStringLiteral("device"), device);
    } else {
        o.insert(QStringLiteral("host"), host);
        o.insert(QStringLiteral("port"), port);
    }
    o.insert(QStringLiteral("map"), map.toJson());
    return o;
}
