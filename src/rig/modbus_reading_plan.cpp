#include "rig/modbus_reading_plan.h"

#include <algorithm>

namespace {
using Field = ReadingBlock::Field;

struct Pair
{
    Field field;
    RigRegister reg;
};

bool holds(const ReadingBlock &b, Field f)
{
    return std::any_of(b.parts.begin(), b.parts.end(), [f](const ReadingBlock::Part &p) { return p.field == f; });
}
} // namespace

QString ReadingBlock::what() const
{
    if (holds(*this, Field::Reference))
        return QStringLiteral("Чтение эталона");
    if (holds(*this, Field::RigFlow))
        return QStringLiteral("Чтение расхода стенда");
    return QStringLiteral("Чтение термометра стенда");
}

void ReadingBlock::apply(const QModbusDataUnit &answer, WordOrder order, RigReading *reading) const
{
    for (const Part &p : parts) {
        const double v = double(RegistersToFloat(answer.value(p.offset), answer.value(p.offset + 1), order)) * p.scale;
        switch (p.field) {
        case Field::Reference: reading->referenceFlow = v; break;
        case Field::RigFlow: reading->rigFlow = v; break;
        case Field::Temperature: reading->referenceTemperature = v; break;
        }
    }
}

QList<ReadingBlock> PlanReading(const RigRegisterMap &map)
{
    QList<Pair> pairs{{Field::Reference, map.reference}};
    if (map.rigFlow)
        pairs.append({Field::RigFlow, *map.rigFlow});
    if (map.referenceTemperature)
        pairs.append({Field::Temperature, *map.referenceTemperature});
    std::stable_sort(pairs.begin(), pairs.end(), [](const Pair &a, const Pair &b) {
        return std::pair(a.reg.table, a.reg.address) < std::pair(b.reg.table, b.reg.address);
    });
    QList<ReadingBlock> blocks;
    for (const Pair &p : pairs) {
        ReadingBlock *last = blocks.isEmpty() ? nullptr : &blocks.last();
        if (!last || last->table != p.reg.table || p.reg.address > last->address + last->count)
            last = &blocks.emplaceBack(ReadingBlock{p.reg.table, p.reg.address, 0, {}});
        last->count = std::max(last->count, p.reg.address + 2 - last->address);
        last->parts.append({p.field, p.reg.address - last->address, p.reg.scale});
    }
    std::stable_partition(blocks.begin(), blocks.end(), [](const ReadingBlock &b) { return holds(b, Field::Reference); });
    return blocks;
}
