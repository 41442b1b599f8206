#include "records/flow_table_save.h"
#include "protocol/protokol_usb.h"
#include "records/calibration_records.h"

namespace FlowTableSave {

namespace {
std::array<float, 4> valuesOf(const FlowTable::Write &w, const Values &values)
{
    return {values[size_t(w.values[0])], values[size_t(w.values[1])], values[size_t(w.values[2])],
            values[size_t(w.values[3])]};
}
} // namespace

QList<QByteArray> Frames(const Values &values)
{
    QList<QByteArray> frames;
    for (const FlowTable::Write &w : FlowTable::SaveWrites()) {
        const std::array<float, 4> v = valuesOf(w, values);
        frames.append(Proto::writeFloatsFrame(w.addr, v.data(), 4));
    }
    return frames;
}

void Send(FrameSink &sink, const Values &values)
{
    for (const FlowTable::Write &w : FlowTable::SaveWrites()) {
        const std::array<float, 4> v = valuesOf(w, values);
        SendWriteFloat4(sink, w.addr, v[0], v[1], v[2], v[3], FlowTable::WritePauseMs);
    }
}

QByteArray ReadBackFrame()
{
    return Proto::readFrame(Proto::FnReadParams, FlowTable::TableRegister, FlowTable::TableCount);
}

void ExpectReadBack(TCalibrationRecords *records, qint64 snapshotId, const Values &values)
{
    // The 27 values lie in the table's registers in this very order.
    if (records)
        records->expectReadBack(snapshotId, CalibrationArea::FlowTable, FlowTable::TableRegister,
                                TCalibrationRecords::FloatRegisters(QList<float>(values.begin(), values.end())),
                                ReadBackFrame());
}

} // namespace FlowTableSave
