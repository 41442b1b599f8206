#include "rig/rig_factory.h"

#include "rig/modbus_rig.h"
#include "rig/operator_rig.h"

std::unique_ptr<TRig> MakeRig(const RigConfig &config, QObject *parent)
{
    if (config.kind == RigConfig::Kind::Operator)
        return std::make_unique<TOperatorRig>(parent);
    return std::make_unique<TModbusRig>(config, parent);
}
