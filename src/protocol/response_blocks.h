#pragma once
// The twelve response blocks of the meter as one table of data, and the one
// routine that turns a complete frame into its record.
#include "protocol/lib_types.h"
#include "protocol/number_text.h"
#include <QByteArray>
#include <functional>
#include <optional>
#include <span>
#include <vector>

enum class ValueKind {
    Word,     // one register, MSB first
    Float,    // two registers, low register first, each MSB first
    Flag,     // word, true when not zero
    AruWord,  // word shown as gain-control percent
};

struct FieldSpec
{
    int pos; // 1-based position of the first byte in the frame
    ValueKind kind;
    NumPattern pattern;
    // Stores the text (and the float copy / flag where the field has one).
    std::function<void(AnyRecord &, const QString &text, float value)> store;
};

struct BlockSpec
{
    int number;     // 1..12
    quint8 function;
    quint8 addr;
    quint8 count;
    std::function<AnyRecord()> makeRecord; // empty record with its half flag set
    std::vector<FieldSpec> fields;

    int length() const { return 7 + 2 * count; }
};

// The blocks in test order.
const std::vector<BlockSpec> &ResponseBlocks();

// Reads for block positions (1-based, as the table gives them). No bounds check:
// the frame length test guarantees them.
quint16 DecodeWord(const QByteArray &frame, int pos);
float DecodeFloat(const QByteArray &frame, int pos);

// The block whose header matches; nullptr when none. Takes the five header bytes
// (frame bytes 2..6) alone, or the start of a frame from its 0x1F on.
const BlockSpec *FindBlockByHeader(QByteArrayView header);
// The number a field holds: the float, the word, the flag as 0/1, the gain in percent.
float DecodeFieldValue(const FieldSpec &field, const QByteArray &frame);
// Builds the record of a complete, validated frame of the given block.
AnyRecord DecodeBlock(const BlockSpec &block, const QByteArray &frame);
