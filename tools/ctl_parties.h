#pragma once
// kestroctl calibrate's certificate parties: the settings file's (the window keeps
// them there), each one given as an option in its place.
#include "records/run_record.h"
#include <QString>
#include <functional>
#include <optional>

// given(key): the option's text as typed, none where not given. None, with the option
// named, where a text may not be kept.
std::optional<CertificateParties> ParseCtlParties(const std::function<std::optional<QString>(const char *key)> &given,
                                                  QString *error);
