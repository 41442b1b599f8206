#pragma once
// The certificate of a calibration run as a PDF: the meter, the rig and its reference
// instrument, the run's UUID and snapshots, the as-found and as-left tables with a
// verdict per row, the error plot, the coefficients before and after, the tube
// temperature during the run, and the signature lines.
#include "records/run_record.h"
#include <QString>

namespace RunCertificate {
// Written whole or not at all (FileOutput); false with the reason.
bool Write(const RunRecord &run, const QString &path, QString *error);
} // namespace RunCertificate
