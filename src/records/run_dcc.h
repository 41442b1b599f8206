#pragma once
// A run's record as a Digital Calibration Certificate (PTB DCC schema 3.1.2, D-SI units).
#include "records/run_record.h"
#include <QByteArray>
#include <QString>

namespace RunDcc {
// The certificate's UTF-8 XML; empty, and why, when the record holds a number XML cannot
// carry (not finite).
QByteArray Write(const RunRecord &run, QString *error = nullptr);
// The decimal the certificate carries for a value: the shortest that reads back to the same double.
QString Number(double v);
} // namespace RunDcc
