#include "records/area_requests.h"
#include "protocol/flow_table.h"
#include "protocol/protokol_usb.h"
#include "link/register_image.h"

namespace {

AreaWrite floatsWrite(quint16 addr, const QVector<quint16> &raw, std::initializer_list<int> indices, int pause = 0)
{
    float values[4];
    int n = 0;
    for (int i : indices)
        values[n++] = TRegisterImage::floatAt(raw, 2 * i);
    return {Proto::writeFloatsFrame(addr, values, n), pause};
}

} // namespace

QByteArray AreaRead::frame() const
{
    return Proto::readFrame(space == RegisterSpace::Data ? Proto::FnReadData : Proto::FnReadParams, addr, count);
}

QList<AreaRead> AreaReads(const QList<CalibrationArea> &areas)
{
    QList<AreaRead> reads;
    for (CalibrationArea area : areas) {
        for (const RegisterRange &r : AreaSpecOf(area).ranges)
            reads.append({r.space, quint16(r.first), quint16(r.count)});
    }
    return reads;
}

QList<AreaWrite> AreaWrites(CalibrationArea area, const QVector<quint16> &raw)
{
    const AreaSpec &desc = AreaSpecOf(area);
    if (!desc.writable || raw.size() != desc.registerCount())
        return {};
    const quint16 first = quint16(desc.ranges.front().first);
    switch (area) {
    case CalibrationArea::Density:
        // The settings window's two writes: the density, then its flag.
        return {floatsWrite(first, raw, {0}), {Proto::writeWordFrame(quint16(first + 2), raw[2]), 0}};
    case CalibrationArea::Thermometer:
    case CalibrationArea::Zero:
        return {floatsWrite(first, raw, {0, 1, 2, 3})};
    case CalibrationArea::FlowTable: {
        // The flow save's seven writes, in its order and with its pause; the 27
        // values lie in the table's registers in the order the save numbers them.
        QList<AreaWrite> writes;
        for (const FlowTable::Write &w : FlowTable::SaveWrites())
            writes << floatsWrite(w.addr, raw, {w.values[0], w.values[1], w.values[2], w.values[3]},
                                  FlowTable::WritePauseMs);
        return writes;
    }
    case CalibrationArea::Coefficients:
        break;
    }
    return {};
}

AreaWrite RecalculationWrite()
{
    return {Proto::writeWordFrame(Proto::CommandRegister, Proto::CmdRecalculate), 0};
}
