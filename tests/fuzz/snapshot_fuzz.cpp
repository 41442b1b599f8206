// A snapshot file from anywhere: never a crash, and what import accepts exports
// and imports again to the same registers.
#include "fuzz_input.h"
#include "records/snapshot_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<Snapshot> s = SnapshotFile::Import(file, &error);
    check(s.has_value() || !error.isEmpty());
    if (!s)
        return 0;
    const std::optional<Snapshot> again = SnapshotFile::Import(SnapshotFile::Export(*s), &error);
    check(again.has_value());
    check(again->areas == s->areas && again->refused == s->refused && again->reason == s->reason && again->note == s->note);
    return 0;
}
