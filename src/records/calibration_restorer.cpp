#include "records/calibration_restorer.h"
#include "link/dm1.h"
#include "records/snapshot_check.h"

namespace {

QString areaTitles(const QList<CalibrationArea> &areas)
{
    QStringList titles;
    for (CalibrationArea a : areas)
        titles << QString::fromUtf8(AreaSpecOf(a).title);
    return titles.isEmpty() ? QStringLiteral("ничего") : titles.join(QStringLiteral(", "));
}

} // namespace

TCalibrationRestorer::TCalibrationRestorer(TDM_1 &dm, TSnapshotStore &store, int answerTimeoutMs, QObject *parent)
    : QObject(parent), m_dm(dm), m_store(store), m_reader(dm, answerTimeoutMs)
{
    connect(&m_reader, &TCalibrationReader::finished, this, &TCalibrationRestorer::onReadFinished);
    connect(&m_reader, &TCalibrationReader::failed, this, &TCalibrationRestorer::onReadFailed);
    connect(&m_reader, &TCalibrationReader::progress, this, [this](int done, int total) {
        emit stageChanged(m_stage == Stage::ReadingBefore ? QStringLiteral("Чтение калибровки прибора")
                                                          : QStringLiteral("Проверка записанного"),
                          done, total);
    });
    connect(&dm.pacer(), &TransmitPacer::frameWritten, this, &TCalibrationRestorer::onFrameWritten);
    connect(&dm, &TDM_1::portClosedSignal, this, [this] {
        if (m_stage == Stage::Writing)
            onReadFailed(QStringLiteral("Связь с прибором потеряна во время записи"));
    });
}

QList<CalibrationArea> TCalibrationRestorer::RestorableAreas(const Snapshot &target, const QList<CalibrationArea> &wanted)
{
    QList<CalibrationArea> areas;
    for (CalibrationArea a : WritableCalibrationAreas()) {
        if (wanted.contains(a) && target.areas.contains(a))
            areas << a;
    }
    return areas;
}

bool TCalibrationRestorer::CheckRestorable(const Snapshot &target, const QList<CalibrationArea> &areas, QString *error)
{
    if (!SnapshotCheck::Shape(target, error))
        return false;
    for (CalibrationArea a : areas) {
        if (target.areas.contains(a) && !SnapshotCheck::Values(a, target.areas.value(a), error))
            return false;
    }
    return true;
}

void TCalibrationRestorer::start(const Snapshot &target, const QList<CalibrationArea> &areas)
{
    m_target = target;
    m_areas = RestorableAreas(target, areas);
    m_outcome = {};
    m_outcome.notWritten = m_areas;
    m_steps.clear();
    m_nextStep = 0;
    if (m_areas.isEmpty()) {
        m_outcome.message = QStringLiteral("В снимке нет выбранных областей: восстанавливать нечего");
        finish(m_outcome);
        return;
    }
    // Every value is checked before the first frame: a damaged snapshot writes nothing.
    QString why;
    if (!CheckRestorable(target, m_areas, &why)) {
        m_outcome.message = QStringLiteral("Снимок не годится для записи в прибор: %1; ничего не записано").arg(why);
        finish(m_outcome);
        return;
    }
    m_stage = Stage::ReadingBefore;
    m_reader.start(AllCalibrationAreas());
}

void TCalibrationRestorer::cancel()
{
    if (!canCancel())
        return;
    m_reader.cancel();
    m_outcome.message = QStringLiteral("Восстановление отменено: ничего не записано");
    finish(m_outcome);
}

void TCalibrationRestorer::onReadFinished()
{
    if (m_stage == Stage::ReadingBefore) {
        const qint64 id = m_store.add(m_reader.snapshot(SnapshotReason::BeforeRestore));
        if (id == 0) {
            // Without the way back nothing is written.
            m_outcome.message =
                QStringLiteral("Снимок перед восстановлением не сохранён (%1): ничего не записано").arg(m_store.lastError());
            finish(m_outcome);
            return;
        }
        m_outcome.beforeRestoreId = id;
        writeAreas();
    } else if (m_stage == Stage::ReadingAfter) {
        check();
    }
}

void TCalibrationRestorer::writeAreas()
{
    m_stage = Stage::Writing;
    for (CalibrationArea area : m_areas) {
        const QList<AreaWrite> writes = AreaWrites(area, m_target.areas.value(area));
        for (qsizetype i = 0; i < writes.size(); ++i)
            m_steps.append({writes[i].frame, i + 1 == writes.size() ? std::optional(area) : std::nullopt});
    }
    m_steps.append({RecalculationWrite().frame, std::nullopt});
    emit stageChanged(QStringLiteral("Запись в прибор"), 0, int(m_steps.size()));
    try {
        for (CalibrationArea area : m_areas) {
            for (const AreaWrite &w : AreaWrites(area, m_target.areas.value(area)))
                m_dm.sendFrame(w.frame, FrameKind::Write, w.extraPauseMs);
        }
        const AreaWrite recalc = RecalculationWrite();
        m_dm.sendFrame(recalc.frame, FrameKind::Write, recalc.extraPauseMs);
    } catch (const LinkError &e) {
        onReadFailed(e.message());
    }
}

void TCalibrationRestorer::onFrameWritten(const QByteArray &frame, bool isRead)
{
    if (m_stage != Stage::Writing || isRead || m_nextStep >= m_steps.size() || m_steps[m_nextStep].frame != frame)
        return;
    const Step &step = m_steps[m_nextStep++];
    if (step.completes) {
        m_outcome.written << *step.completes;
        m_outcome.notWritten.removeOne(*step.completes);
    }
    emit stageChanged(QStringLiteral("Запись в прибор"), int(m_nextStep), int(m_steps.size()));
    if (m_nextStep == m_steps.size()) {
        m_stage = Stage::ReadingAfter;
        m_reader.start(AllCalibrationAreas());
    }
}

void TCalibrationRestorer::check()
{
    const TRegisterImage &image = m_dm.registerImage();
    for (CalibrationArea area : m_areas) {
        const QVector<quint16> &expected = m_target.areas.value(area);
        const auto now = AreaFromImage(image, area);
        int index = 0;
        for (const RegisterRange &r : AreaSpecOf(area).ranges) {
            for (int reg = r.first; reg < r.first + r.count; ++reg, ++index) {
                if (!now || (*now)[index] != expected[index])
                    m_outcome.differing << QStringLiteral("%1: регистр %2").arg(QString::fromUtf8(AreaSpecOf(area).title)).arg(reg);
            }
        }
    }
    m_outcome.restored = m_outcome.differing.isEmpty();
    m_outcome.message = m_outcome.restored
                            ? QStringLiteral("восстановлено")
                            : QStringLiteral("Прибор хранит не то, что записано: %1. Путь назад — снимок №%2")
                                  .arg(m_outcome.differing.join(QStringLiteral(", ")))
                                  .arg(m_outcome.beforeRestoreId);
    finish(m_outcome);
}

QString TCalibrationRestorer::writtenSummary() const
{
    return QStringLiteral("записано: %1; не записано: %2")
        .arg(areaTitles(m_outcome.written), areaTitles(m_outcome.notWritten));
}

void TCalibrationRestorer::onReadFailed(const QString &message)
{
    if (m_stage == Stage::Idle)
        return;
    if (m_outcome.beforeRestoreId == 0)
        m_outcome.message = QStringLiteral("%1: ничего не записано").arg(message);
    else
        m_outcome.message = QStringLiteral("%1; %2. Путь назад — снимок №%3")
                                .arg(message, writtenSummary())
                                .arg(m_outcome.beforeRestoreId);
    finish(m_outcome);
}

void TCalibrationRestorer::finish(RestoreOutcome outcome)
{
    m_stage = Stage::Idle;
    m_reader.cancel();
    emit finished(outcome);
}
