#pragma once
#include "rig/rig.h"
#include "rig/rig_config.h"

#include <memory>

// The driver for what the user named; open() it to start.
std::unique_ptr<TRig> MakeRig(const RigConfig &config, QObject *parent = nullptr);
