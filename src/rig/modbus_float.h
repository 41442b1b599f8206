#pragma once
// A float32 in two 16-bit Modbus registers. Rigs disagree on which half comes
// first, so the order is part of the register map.
#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>

enum class WordOrder {
    HighFirst, // "ABCD": the lower address holds the high half
    LowFirst,  // "CDAB": the lower address holds the low half
};

// Registers in address order.
std::array<quint16, 2> FloatToRegisters(float value, WordOrder order);
float RegistersToFloat(quint16 first, quint16 second, WordOrder order);

QString WordOrderName(WordOrder order);
std::optional<WordOrder> WordOrderFromName(const QString &name);
