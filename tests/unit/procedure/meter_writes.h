#pragma once
// What a run wrote to the simulated meter's parameters besides commands, as hex frames:
// empty for a run that must leave the meter's calibration alone.
#include "protocol/protokol_usb.h"
#include "sim/meter_server.h"
#include <QStringList>

inline QStringList ParameterWrites(const MeterServer &server)
{
    QStringList writes;
    for (const ReceivedRequest &r : server.received()) {
        if (r.frame.size() > 3 && quint8(r.frame[1]) == Proto::FnWriteParams
            && (quint8(r.frame[2]) << 8 | quint8(r.frame[3])) != Proto::CommandRegister)
            writes << QString::fromLatin1(r.frame.toHex());
    }
    return writes;
}
