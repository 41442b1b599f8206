#pragma once
// The flow table's save, shared by the flow tab and calibration runs: the seven
// writes of four floats with their pauses, and the read-back check armed for the
// table read that follows them.
#include "protocol/flow_table.h"
#include "protocol/frame_sink.h"
#include <QByteArray>
#include <QList>
#include <array>

class TCalibrationRecords;

namespace FlowTableSave {

// Q Max, Etalon 1..13, Pribor 1..13 (FlowTable's value order).
using Values = std::array<float, FlowTable::Values>;

// The write frames in the order they leave.
QList<QByteArray> Frames(const Values &values);
// Queues the seven writes, each with the table's extra pause.
void Send(FrameSink &sink, const Values &values);
// The read that checks the save: the whole table.
QByteArray ReadBackFrame();
// Arms the records' check of the written table against the answer to ReadBackFrame
// sent after this call (records may be null: no check).
void ExpectReadBack(TCalibrationRecords *records, qint64 snapshotId, const Values &values);

} // namespace FlowTableSave
