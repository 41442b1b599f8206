#pragma once
// Issuing a completed run's certificate: its DCC made here, its PDF made by whoever
// renders it, both kept in the records store as they were handed out.
#include "records/record_store.h"
#include <QByteArray>
#include <QString>
#include <optional>

// The certificate kept (uuid, revision and time set); none, and why, when the run did not
// complete, its DCC cannot be written or the store refused it.
std::optional<IssuedCertificate> IssueRunCertificate(TRecordStore &store, const RunRecord &run, const QByteArray &pdf,
                                                     QString *error = nullptr);
