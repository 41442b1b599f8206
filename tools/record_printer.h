#pragma once
// Text output of decoded records for the command-line tool.
#include "protocol/lib_types.h"
#include <QStringList>

// The text fields the record's block filled, in record order, as "Name=Text",
// then its Boolean (if it has one) as "Name=0" / "Name=1". Float copies are left out.
QStringList RecordLines(const AnyRecord &record);

// The nine live texts in field order, separated by tabs.
QString LiveLine(const TQ_main &q);
