#include "records/snapshot.h"

namespace {
struct ReasonName
{
    SnapshotReason reason;
    const char *key;
    const char *title;
};
constexpr ReasonName Reasons[] = {
    {SnapshotReason::BeforeDensityWrite, "before-density-write", "перед записью плотности"},
    {SnapshotReason::BeforeThermometerSave, "before-thermometer-save", "перед сохранением термометра"},
    {SnapshotReason::BeforeZeroSave, "before-zero-save", "перед сохранением калибровки 0"},
    {SnapshotReason::BeforeFlowSave, "before-flow-save", "перед сохранением расхода"},
    {SnapshotReason::BeforeRecalculation, "before-recalculation", "перед пересчетом коэффициентов"},
    {SnapshotReason::ManualBackup, "manual-backup", "резервная копия"},
    {SnapshotReason::BeforeRestore, "before-restore", "перед восстановлением"},
    {SnapshotReason::BeforeRun, "before-run", "перед калибровкой по шагам"},
    {SnapshotReason::AfterRun, "after-run", "после калибровки по шагам"},
};
} // namespace

QString ReasonKey(SnapshotReason reason)
{
    for (const ReasonName &r : Reasons) {
        if (r.reason == reason)
            return QString::fromLatin1(r.key);
    }
    return {};
}

QString ReasonTitle(SnapshotReason reason)
{
    for (const ReasonName &r : Reasons) {
        if (r.reason == reason)
            return QString::fromUtf8(r.title);
    }
    return {};
}

std::optional<SnapshotReason> ReasonFromKey(const QString &key)
{
    for (const ReasonName &r : Reasons) {
        if (key == QLatin1String(r.key))
            return r.reason;
    }
    return std::nullopt;
}

Snapshot SnapshotFromImage(const TRegisterImage &image, const QList<CalibrationArea> &areas, SnapshotReason reason,
                           const QString &port, const QString &note)
{
    Snapshot s;
    s.takenUtc = QDateTime::currentDateTimeUtc();
    s.port = port;
    s.reason = reason;
    s.note = note;
    s.programVersion = QStringLiteral(KESTRO_VERSION);
    for (CalibrationArea area : areas) {
        if (const auto values = AreaFromImage(image, area))
            s.areas.insert(area, *values);
    }
    return s;
}

bool FromOtherMeter(const Snapshot &snapshot, const QString &meterSerial)
{
    return !snapshot.meterSerial.isEmpty() && !meterSerial.isEmpty() && snapshot.meterSerial != meterSerial;
}

QString OtherMeterText(const Snapshot &snapshot, const QString &meterSerial)
{
    return QStringLiteral("Снимок №%1 снят с другого прибора (серийный номер %2), подключён прибор с номером %3")
        .arg(snapshot.id)
        .arg(snapshot.meterSerial, meterSerial);
}
