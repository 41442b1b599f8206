#pragma once
// The requests one reading of a Modbus rig takes: the map's reference, rig flow and
// reference thermometer pairs, those of one table that touch or overlap sharing a
// request, so they come from one moment. The reference's request goes first.
#include "rig/rig.h"
#include "rig/rig_config.h"

#include <QList>
#include <QModbusDataUnit>

struct ReadingBlock
{
    enum class Field { Reference, RigFlow, Temperature };
    struct Part
    {
        Field field = Field::Reference;
        int offset = 0; // of the pair in the block
        double scale = 1.0;
    };
    RegisterTable table = RegisterTable::Input;
    quint16 address = 0;
    int count = 0;
    QList<Part> parts;

    // "Чтение эталона", "Чтение расхода стенда", "Чтение термометра стенда": what a failure names.
    QString what() const;
    // Fills this block's fields of *reading from its answer.
    void apply(const QModbusDataUnit &answer, WordOrder order, RigReading *reading) const;
};

QList<ReadingBlock> PlanReading(const RigRegisterMap &map);
