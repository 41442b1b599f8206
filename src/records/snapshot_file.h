#pragma once
// A snapshot as a small human-readable file, to archive with the meter's papers or to
// move to another computer: JSON, every area's raw registers as hex (authoritative)
// and the numbers they hold. Import checks everything and says what is wrong.
//
// {
//   "format": "kestrolink-snapshot", "format_version": 1,
//   "taken_utc": "2026-12-09T10:15:00.000Z", "port": "/dev/ttyACM0",
//   "reason": "before-flow-save", "note": "", "program_version": "1.0.0",
//   "areas": [ { "area": "flow-table", "registers": ["0000", "447a", ...], "values": [1000, ...] } ],
//   "refused": [ ...the same shape: values a save wrote that the meter did not take ]
// }
//
// Floats take two registers, the lower address holding the low half; the density
// area ends with its flag word. A value that is not a finite number is null.
#include "records/snapshot.h"
#include <QByteArray>
#include <optional>

namespace SnapshotFile {
constexpr qsizetype MaxFileSize = 1 << 20;
inline constexpr const char *Format = "kestrolink-snapshot";
constexpr int FormatVersion = 1;

QByteArray Export(const Snapshot &snapshot);
// The snapshot in the file (id 0), or none with the reason.
std::optional<Snapshot> Import(const QByteArray &file, QString *error);
} // namespace SnapshotFile

// The numbers an area's registers hold: floats, and the density flag as a word.
QVector<double> AreaNumbers(CalibrationArea area, const QVector<quint16> &registers);
