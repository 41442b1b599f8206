#include "rig/rig_kinds.h"

const QList<RigKind> &RigKinds()
{
    static const QList<RigKind> kinds = {
        {RigConfig::Kind::Sim, "sim", "Симулятор стенда (Modbus TCP)", "sim", "sim:", "ПОРТ", true, false, true, false},
        {RigConfig::Kind::ModbusTcp, "modbus-tcp", "Стенд Modbus TCP", nullptr, "modbus:tcp://", "ХОСТ[:ПОРТ]", true,
         false, false, true},
        {RigConfig::Kind::ModbusRtu, "modbus-rtu", "Стенд Modbus RTU", nullptr, "modbus:rtu:", "УСТРОЙСТВО", false,
         true, false, true},
        {RigConfig::Kind::Operator, "operator", "Без связи: расход и эталон вводит оператор", "operator", nullptr,
         nullptr, false, false, false, false},
    };
    return kinds;
}

const RigKind *FindRigKind(const QString &key)
{
    for (const RigKind &k : RigKinds()) {
        if (key == QLatin1String(k.key))
            return &k;
    }
    return nullptr;
}

std::optional<RigConfig> RigConfigFromFields(const RigFields &fields, QString *error)
{
    const RigKind *kind = FindRigKind(fields.kind);
    if (!kind)
        return ParseRigName(fields.kind, error);
    const QString address = fields.address.trimmed();
    // The simulator's "host:port" names its port in the rig name and its host beside it.
    QString host;
    QString value = kind->address ? address : fields.device.trimmed();
    if (kind->kind == RigConfig::Kind::Sim && !address.isEmpty()) {
        const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
        host = colon < 0 ? QString() : address.left(colon);
        value = address.mid(colon + 1);
    }
    const bool bareName = !kind->prefix || (kind->bare && value.isEmpty());
    const QString rigName = bareName ? QLatin1String(kind->bare) : QLatin1String(kind->prefix) + value;
    std::optional<RigConfig> config = MakeRigConfig(rigName, kind->map ? fields.mapPath.trimmed() : QString(), error);
    if (config && !host.isEmpty())
        config->host = host;
    return config;
}
