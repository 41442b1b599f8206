#pragma once
// Snapshots for the records tests: one with odd bit patterns (for storage), one
// holding what a working meter holds (for files and restores).
#include "records/snapshot.h"
#include <bit>

inline Snapshot sample()
{
    Snapshot s;
    s.takenUtc = QDateTime(QDate(2026, 12, 9), QTime(10, 15, 0, 250), Qt::UTC);
    s.port = QStringLiteral("/dev/ttyACM0");
    s.reason = SnapshotReason::BeforeFlowSave;
    s.note = QStringLiteral("до калибровки");
    s.programVersion = QStringLiteral("1.0.0");
    // 998.2, flag 1; a signalling NaN's exact bits in the thermometer area.
    s.areas.insert(CalibrationArea::Density, {0x8ccd, 0x4479, 0x0001});
    s.areas.insert(CalibrationArea::Thermometer, {0x0001, 0x7f80, 0, 0x41a0, 0, 0, 0, 0});
    QVector<quint16> flow(54);
    for (int i = 0; i < 54; ++i)
        flow[i] = quint16(i * 977);
    s.areas.insert(CalibrationArea::FlowTable, flow);
    s.refused.insert(CalibrationArea::Thermometer, {1, 2, 3, 4, 5, 6, 7, 8});
    return s;
}

// Floats as the meter keeps them: two registers each, the low half first.
inline QVector<quint16> registersOf(std::initializer_list<float> values)
{
    QVector<quint16> regs;
    for (float v : values) {
        const quint32 bits = std::bit_cast<quint32>(v);
        regs << quint16(bits & 0xFFFF) << quint16(bits >> 16);
    }
    return regs;
}

// What a working meter holds: every value a meter may be given back.
inline Snapshot MeterSample()
{
    Snapshot s = sample();
    s.areas.insert(CalibrationArea::Thermometer, registersOf({20.05f, 3001.25f, 59.87f, 3996.75f}));
    s.areas.insert(CalibrationArea::Zero, registersOf({20.05f, 3.7f, 59.87f, 5.49f}));
    QVector<quint16> flow = registersOf({1000.0f});
    for (int n = 0; n < 13; ++n)
        flow += registersOf({float(-1000 + 2000 * n / 12)});
    for (int n = 0; n < 13; ++n)
        flow += registersOf({float(-2000 + 4000 * n / 12) + 0.25f});
    s.areas.insert(CalibrationArea::FlowTable, flow);
    s.areas.insert(CalibrationArea::Coefficients, registersOf({-62.5f, 0.04f, 2.3f, 0.045f, 0.0f, 0.5f, 1e-7f, -2e-12f}));
    return s;
}
