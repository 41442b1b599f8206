// Which requests one reading takes: touching pairs of one table share one, the
// reference's goes first, and every part sits at its own offset with its own scale.
#include "rig/modbus_reading_plan.h"

#include <QStringList>
#include <functional>
#include <gtest/gtest.h>

namespace {

// "input 0×6 (эталон@0, расход@2, термометр@4 ×0.1)", requests joined by " | ".
QString describe(const QList<ReadingBlock> &blocks)
{
    QStringList out;
    for (const ReadingBlock &b : blocks) {
        QStringList parts;
        for (const ReadingBlock::Part &p : b.parts) {
            const char *name = p.field == ReadingBlock::Field::Reference ? "эталон"
                               : p.field == ReadingBlock::Field::RigFlow ? "расход"
                                                                         : "термометр";
            QString text = QStringLiteral("%1@%2").arg(QString::fromUtf8(name)).arg(p.offset);
            if (p.scale != 1.0)
                text += QStringLiteral(" ×%1").arg(p.scale);
            parts << text;
        }
        out << QStringLiteral("%1 %2×%3 (%4)")
                   .arg(b.table == RegisterTable::Input ? QStringLiteral("input") : QStringLiteral("holding"))
                   .arg(b.address)
                   .arg(b.count)
                   .arg(parts.join(QStringLiteral(", ")));
    }
    return out.join(QStringLiteral(" | "));
}

TEST(ModbusReadingPlan, TouchingPairsShareARequestAndTheReferenceGoesFirst)
{
    using T = RegisterTable;
    const struct
    {
        const char *name;
        std::function<void(RigRegisterMap &)> change;
        const char *plan;
        const char *firstWhat;
    } cases[] = {
        {"the simulator's map", [](RigRegisterMap &) {}, "input 0×6 (эталон@0, расход@2, термометр@4)", "Чтение эталона"},
        {"thermometer apart", [](RigRegisterMap &m) { m.referenceTemperature = RigRegister{T::Input, 10, 0.1}; },
         "input 0×4 (эталон@0, расход@2) | input 10×2 (термометр@0 ×0.1)", "Чтение эталона"},
        {"thermometer in the other table", [](RigRegisterMap &m) { m.referenceTemperature->table = T::Holding; },
         "input 0×4 (эталон@0, расход@2) | holding 4×2 (термометр@0)", "Чтение эталона"},
        {"reference far up",
         [](RigRegisterMap &m) { m.reference.address = 40; },
         "input 40×2 (эталон@0) | input 2×4 (расход@0, термометр@2)", "Чтение эталона"},
        {"thermometer below the reference",
         [](RigRegisterMap &m) {
             m.rigFlow.reset();
             m.reference.address = 8;
             m.referenceTemperature->address = 6;
         },
         "input 6×4 (термометр@0, эталон@2)", "Чтение эталона"},
        {"no thermometer, no rig flow",
         [](RigRegisterMap &m) {
             m.rigFlow.reset();
             m.referenceTemperature.reset();
         },
         "input 0×2 (эталон@0)", "Чтение эталона"},
        {"rig flow and thermometer on one pair", [](RigRegisterMap &m) { m.referenceTemperature->address = 2; },
         "input 0×4 (эталон@0, расход@2, термометр@2)", "Чтение эталона"},
    };
    for (const auto &c : cases) {
        RigRegisterMap map;
        c.change(map);
        const QList<ReadingBlock> plan = PlanReading(map);
        EXPECT_EQ(describe(plan), QString::fromUtf8(c.plan)) << c.name;
        ASSERT_FALSE(plan.isEmpty()) << c.name;
        EXPECT_EQ(plan.first().what(), QString::fromUtf8(c.firstWhat)) << c.name;
    }
}

TEST(ModbusReadingPlan, EachPartIsReadAtItsOffsetWithItsScaleAndWordOrder)
{
    RigRegisterMap map;
    map.wordOrder = WordOrder::LowFirst;
    map.rigFlow.reset();
    map.reference = RigRegister{RegisterTable::Input, 8, 3600.0};
    map.referenceTemperature = RigRegister{RegisterTable::Input, 6, 0.1};
    const QList<ReadingBlock> plan = PlanReading(map);
    ASSERT_EQ(plan.size(), 1);
    QList<quint16> words;
    for (float v : {605.0f, 0.125f}) {
        const auto w = FloatToRegisters(v, map.wordOrder);
        words << w[0] << w[1];
    }
    RigReading r;
    plan.first().apply(QModbusDataUnit(QModbusDataUnit::InputRegisters, 6, words), map.wordOrder, &r);
    EXPECT_DOUBLE_EQ(r.referenceFlow, 450.0);
    ASSERT_TRUE(r.referenceTemperature);
    EXPECT_NEAR(*r.referenceTemperature, 60.5, 1e-5);
    EXPECT_FALSE(r.rigFlow);
}

} // namespace
