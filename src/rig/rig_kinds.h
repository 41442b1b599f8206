#pragma once
// The kinds of rig one can name, with the fields each needs: one table for the run
// window's choices and for the rig names kestroctl takes (ParseRigName).
#include "rig/rig_config.h"

#include <QList>

struct RigKind
{
    RigConfig::Kind kind;
    const char *key;   // RigConfig::kindName(): "sim", "modbus-tcp", ...
    const char *title; // as the window lists it
    const char *bare;  // the rig name alone ("sim"); null where the name needs more
    const char *prefix; // of a rig name with a value ("sim:"); null where none follows
    const char *value; // what follows the prefix, as the refusal lists it ("ПОРТ")
    // The fields that apply: host:port, serial port, the simulator's clock, a register map.
    bool address, device, timeScale, map;
};

const QList<RigKind> &RigKinds();
// Null for a key no kind has.
const RigKind *FindRigKind(const QString &key);

// What a form holds for a rig.
struct RigFields
{
    QString kind;    // a RigKind key
    QString address; // "host:port" (sim, Modbus TCP); the simulator's may be empty
    QString device;  // Modbus RTU
    QString mapPath; // Modbus; empty: the default map
};

// The rig the fields name, refused in the words ParseRigName and MakeRigConfig use.
std::optional<RigConfig> RigConfigFromFields(const RigFields &fields, QString *error);
