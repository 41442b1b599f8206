#include "protocol/response_blocks.h"

#include "protocol/protokol_usb.h"

#include <bit>

namespace {

using Points = std::array<QString, TQ_Rashod_Kf::PointCount>;

// Field builders: each ties a position and a format to one member of a record.
template <class R>
FieldSpec text(int pos, NumPattern pattern, QString R::*field, ValueKind kind = ValueKind::Float)
{
    return {pos, kind, pattern,
            [field](AnyRecord &record, const QString &t, float) { std::get<R>(record).*field = t; }};
}

template <class R>
FieldSpec textWithCopy(int pos, NumPattern pattern, QString R::*field, float R::*copy)
{
    return {pos, ValueKind::Float, pattern,
            [field, copy](AnyRecord &record, const QString &t, float value) {
                R &r = std::get<R>(record);
                r.*field = t;
                r.*copy = value;
            }};
}

template <class R>
FieldSpec flag(int pos, bool R::*field)
{
    return {pos, ValueKind::Flag, NumPattern::Word,
            [field](AnyRecord &record, const QString &, float value) {
                std::get<R>(record).*field = value != 0.0f;
            }};
}

template <class R>
FieldSpec point(int pos, NumPattern pattern, Points R::*points, int index)
{
    return {pos, ValueKind::Float, pattern,
            [points, index](AnyRecord &record, const QString &t, float) {
                (std::get<R>(record).*points)[size_t(index)] = t;
            }};
}

template <class R>
std::function<AnyRecord()> emptyRecord()
{
    return [] { return AnyRecord(R{}); };
}

// Records shared by two blocks carry a flag that tells which half is filled.
template <class R>
std::function<AnyRecord()> halfRecord(bool R::*half, bool value)
{
    return [half, value] {
        R r{};
        r.*half = value;
        return AnyRecord(std::move(r));
    };
}

std::vector<FieldSpec> flowTableFields()
{
    std::vector<FieldSpec> fields{
        textWithCopy(7, NumPattern::P0_hhh, &TQ_Rashod_Kf::Q_Max, &TQ_Rashod_Kf::Q_Max_Float)};
    for (int n = 1; n <= TQ_Rashod_Kf::PointCount; ++n)
        fields.push_back(point(7 + 4 * n, NumPattern::P0_hhh, &TQ_Rashod_Kf::Etalon, n - 1));
    for (int n = 1; n <= TQ_Rashod_Kf::PointCount; ++n)
        fields.push_back(point(59 + 4 * n, NumPattern::P0_hhh, &TQ_Rashod_Kf::Pribor, n - 1));
    return fields;
}

std::vector<BlockSpec> buildBlocks()
{
    using P = NumPattern;
    using Main = TQ_main;
    using Termo = TQ_kalibr_Termo;
    using Zero = TQ_kalibr_0_Termo;
    using Ns = TQ_kalibr_Termo_ns;
    using Flow = TQ_kalibr_Rashod;
    using Kf = TQ_Rashod_Kf;
    constexpr quint8 Data = Proto::FnReadData;
    constexpr quint8 Params = Proto::FnReadParams;

    return {
        {1, Data, 1, 24, emptyRecord<Main>(),
         {text(7, P::Word, &Main::Status, ValueKind::Word),
          text(9, P::P0_000, &Main::Rashod_M),
          text(13, P::P0_000, &Main::Rashod_O),
          text(17, P::P0_0hh, &Main::Plotnost),
          text(21, P::P0_00, &Main::TempMCU),
          text(25, P::P0_00, &Main::TempTube),
          text(29, P::P0_0000, &Main::FRQ),
          text(33, P::P0_0000, &Main::TimePostCer0),
          text(45, P::P0_00, &Main::ARU, ValueKind::AruWord)}},
        {2, Params, 2, 3, emptyRecord<TQ_settings>(),
         {text(7, P::P0_00, &TQ_settings::Plotnost_FIX),
          flag(11, &TQ_settings::Plotnost_FIX_En)}},
        {3, Params, 5, 8, halfRecord(&Termo::Kf, false),
         {text(7, P::P0_00, &Termo::Temp_20),
          text(11, P::P0_00, &Termo::ADC_20),
          text(15, P::P0_00, &Termo::Temp_60),
          text(19, P::P0_00, &Termo::ADC_60)}},
        {4, Data, 16, 4, halfRecord(&Termo::Kf, true),
         {text(7, P::General, &Termo::A), text(11, P::General, &Termo::B)}},
        {5, Data, 28, 2, emptyRecord<TQ_kalibr_Termo_ADC>(),
         {textWithCopy(7, P::P0_00, &TQ_kalibr_Termo_ADC::ADC_str,
                       &TQ_kalibr_Termo_ADC::ADC_float)}},
        {6, Params, 13, 8, halfRecord(&Zero::Kf, false),
         {text(7, P::P0_00, &Zero::Temp_20),
          text(11, P::P0_00, &Zero::t_20),
          text(15, P::P0_00, &Zero::Temp_60),
          text(19, P::P0_00, &Zero::t_60)}},
        {7, Data, 32, 4, halfRecord(&Zero::Kf, true),
         {text(7, P::General, &Zero::A), text(11, P::General, &Zero::B)}},
        {8, Data, 10, 22, emptyRecord<Ns>(),
         {textWithCopy(7, P::P0_00, &Ns::T_str, &Ns::T_float),
          textWithCopy(47, P::P0_00, &Ns::ns_str, &Ns::ns_float)}},
        {9, Data, 36, 8, halfRecord(&Kf::Kf, true),
         {text(7, P::General, &Kf::A),
          text(11, P::General, &Kf::B),
          text(15, P::General, &Kf::C),
          text(19, P::General, &Kf::D)}},
        {10, Params, 21, 54, halfRecord(&Kf::Kf, false), flowTableFields()},
        {11, Data, 2, 14, halfRecord(&Flow::type_Q_Ns, true),
         {textWithCopy(7, P::P0_000, &Flow::Q_Qm_str, &Flow::Q_Qm_float),
          textWithCopy(31, P::P0_000, &Flow::Q_Ns_str, &Flow::Q_Ns_float)}},
        {12, Data, 44, 6, halfRecord(&Flow::type_Q_Ns, false),
         {text(7, P::P0_hhh, &Flow::sred_times_val),
          text(11, P::P0_hhh, &Flow::Time_ms),
          text(15, P::P0_hhh, &Flow::sred_Qm_val)}},
    };
}

quint8 byteAt(const QByteArray &frame, int pos)
{
    return quint8(frame.at(pos - 1));
}

} // namespace

const std::vector<BlockSpec> &ResponseBlocks()
{
    static const std::vector<BlockSpec> blocks = buildBlocks();
    return blocks;
}

quint16 DecodeWord(const QByteArray &frame, int pos)
{
    return quint16(byteAt(frame, pos) << 8 | byteAt(frame, pos + 1));
}

float DecodeFloat(const QByteArray &frame, int pos)
{
    // Low register first, each register most significant byte first.
    const quint32 bits = quint32(byteAt(frame, pos + 2)) << 24 | quint32(byteAt(frame, pos + 3)) << 16
                         | quint32(byteAt(frame, pos)) << 8 | quint32(byteAt(frame, pos + 1));
    return std::bit_cast<float>(bits);
}

const BlockSpec *FindBlockByHeader(QByteArrayView header)
{
    // Accept the five header bytes alone or a frame prefix that starts with the start byte.
    const qsizetype offset = (header.size() >= 6 && quint8(header.at(0)) == Proto::StartByte) ? 1 : 0;
    if (header.size() < offset + 5)
        return nullptr;
    const auto at = [&](int i) { return quint8(header.at(offset + i)); };
    for (const BlockSpec &block : ResponseBlocks()) {
        if (at(0) == block.function && at(1) == 0 && at(2) == block.addr && at(3) == 0
            && at(4) == block.count)
            return &block;
    }
    return nullptr;
}

float DecodeFieldValue(const FieldSpec &field, const QByteArray &frame)
{
    switch (field.kind) {
    case ValueKind::Word:
    case ValueKind::Flag:
        return float(DecodeWord(frame, field.pos));
    case ValueKind::Float:
        return DecodeFloat(frame, field.pos);
    case ValueKind::AruWord:
        return AruPercent(DecodeWord(frame, field.pos));
    }
    return 0.0f;
}

AnyRecord DecodeBlock(const BlockSpec &block, const QByteArray &frame)
{
    AnyRecord record = block.makeRecord();
    for (const FieldSpec &field : block.fields) {
        const float value = DecodeFieldValue(field, frame);
        QString text;
        if (field.kind == ValueKind::Word)
            text = FormatWord(DecodeWord(frame, field.pos));
        else if (field.kind != ValueKind::Flag)
            text = FormatFloatPattern(double(value), field.pattern);
        field.store(record, text, value);
    }
    return record;
}
