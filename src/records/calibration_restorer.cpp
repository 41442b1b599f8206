#include "records/calibration_restorer.h"
#include "link/meter_link.h"
#include "records/snapshot_check.h"

namespace {
constexpr int ReconnectTryMs = 500;
const QString WritingStage = QStringLiteral("Запись в прибор");
} // namespace

QList<CalibrationArea> RestoreOutcome::areasIn(AreaRestoreState state) const
{
    QList<CalibrationArea> areas;
    for (auto it = states.cbegin(); it != states.cend(); ++it) {
        if (it.value() == state)
            areas << it.key();
    }
    return areas;
}

TCalibrationRestorer::TCalibrationRestorer(TMeterLink &dm, TRecordStore &store, int answerTimeoutMs, QObject *parent)
    : QObject(parent), m_dm(dm), m_store(store), m_reader(dm, answerTimeoutMs)
{
    connect(&m_reader, &TCalibrationReader::finished, this, &TCalibrationRestorer::onReadFinished);
    connect(&m_reader, &TCalibrationReader::failed, this, &TCalibrationRestorer::onReadFailed);
    connect(&m_reader, &TCalibrationReader::progress, this, [this](int done, int total) {
        emit stageChanged(m_stage == Stage::ReadingBefore ? QStringLiteral("Чтение калибровки прибора")
                                                          : QStringLiteral("Проверка записанного"),
                          done, total);
    });
    connect(&dm, &TMeterLink::frameWritten, this, &TCalibrationRestorer::onFrameWritten);
    connect(&dm, &TMeterLink::portClosedSignal, this, [this] {
        if (m_stage == Stage::Writing)
            onLinkLost(QStringLiteral("Связь с прибором потеряна во время записи"));
    });
    m_reconnect.setInterval(ReconnectTryMs);
    connect(&m_reconnect, &QTimer::timeout, this, &TCalibrationRestorer::tryReconnect);
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
    m_before = {};
    m_areas = RestorableAreas(target, areas);
    m_outcome = {};
    for (CalibrationArea a : m_areas)
        m_outcome.states.insert(a, AreaRestoreState::NotWritten);
    m_steps.clear();
    m_nextStep = 0;
    m_linkLost.clear();
    m_waiting.invalidate();
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
        m_before = m_reader.snapshot(SnapshotReason::BeforeRestore);
        const qint64 id = m_store.add(m_before);
        if (id == 0) {
            // Without the way back nothing is written.
            m_outcome.message =
                QStringLiteral("Снимок перед восстановлением не сохранён (%1): ничего не записано").arg(m_store.lastError());
            finish(m_outcome);
            return;
        }
        m_outcome.beforeRestoreId = id;
        if (!beginJournal())
            return;
        writeAreas();
    } else if (m_stage == Stage::ReadingAfter) {
        check();
    }
}

bool TCalibrationRestorer::beginJournal()
{
    // A snapshot from a file is kept, so that a restore cut short can be finished from the store.
    if (m_target.id == 0) {
        m_target.id = m_store.add(m_target);
        if (m_target.id == 0) {
            m_outcome.message = QStringLiteral("Восстанавливаемый снимок не сохранён (%1): ничего не записано")
                                    .arg(m_store.lastError());
            finish(m_outcome);
            return false;
        }
    }
    m_outcome.journalId = m_store.beginRestore(m_target.id, m_outcome.beforeRestoreId, m_areas);
    if (m_outcome.journalId == 0) {
        m_outcome.message =
            QStringLiteral("Начало восстановления не записано (%1): ничего не записано").arg(m_store.lastError());
        finish(m_outcome);
        return false;
    }
    return true;
}

void TCalibrationRestorer::writeAreas()
{
    m_stage = Stage::Writing;
    QList<AreaWrite> writes;
    for (CalibrationArea area : m_areas) {
        for (const AreaWrite &w : AreaWrites(area, m_target.areas.value(area))) {
            m_steps.append({w.frame, area});
            writes << w;
        }
    }
    const AreaWrite recalc = RecalculationWrite();
    m_steps.append({recalc.frame, std::nullopt});
    writes << recalc;
    emit stageChanged(WritingStage, 0, int(m_steps.size()));
    try {
        for (const AreaWrite &w : writes)
            m_dm.sendFrame(w.frame, FrameKind::Write, w.extraPauseMs);
    } catch (const LinkError &e) {
        onLinkLost(e.message());
    }
}

void TCalibrationRestorer::onFrameWritten(const QByteArray &frame, bool isRead)
{
    if (m_stage != Stage::Writing || isRead || m_nextStep >= m_steps.size() || m_steps[m_nextStep].frame != frame)
        return;
    ++m_nextStep;
    emit stageChanged(WritingStage, int(m_nextStep), int(m_steps.size()));
    if (m_nextStep == m_steps.size()) {
        m_stage = Stage::ReadingAfter;
        m_reader.start(AllCalibrationAreas());
    }
}

void TCalibrationRestorer::onLinkLost(const QString &message)
{
    if (m_stage != Stage::Writing && m_stage != Stage::ReadingAfter)
        return;
    if (m_linkLost.isEmpty())
        m_linkLost = message;
    // Only the read-back can tell what the meter took; the link may come back for it.
    m_stage = Stage::WaitingForLink;
    emit stageChanged(QStringLiteral("Ожидание связи для проверки записанного"), 0, 0);
    if (!m_waiting.isValid())
        m_waiting.start();
    m_reconnect.start();
    QMetaObject::invokeMethod(this, &TCalibrationRestorer::tryReconnect, Qt::QueuedConnection);
}

void TCalibrationRestorer::tryReconnect()
{
    if (m_stage != Stage::WaitingForLink)
        return;
    if (!m_dm.isPortOpen())
        m_dm.applyRecoveryRule();
    if (m_dm.isPortOpen()) {
        m_reconnect.stop();
        m_stage = Stage::ReadingAfter;
        m_reader.start(AllCalibrationAreas());
    } else if (m_waiting.elapsed() >= m_reconnectMs) {
        finishWithoutReadBack();
    }
}

void TCalibrationRestorer::check()
{
    const TRegisterImage &image = m_dm.registerImage();
    const QString title = QString::fromUtf8(AreaSpecOf(CalibrationArea::Coefficients).title);
    const auto coefficients = AreaFromImage(image, CalibrationArea::Coefficients);
    const QVector<quint16> expectedCoefficients = m_target.areas.value(CalibrationArea::Coefficients);
    bool notRecalculated = false; // the coefficients stayed as they were before the writes
    const bool coefficientsKnown =
        expectedCoefficients.size() == AreaSpecOf(CalibrationArea::Coefficients).registerCount();
    for (CalibrationArea area : m_areas) {
        const QVector<quint16> &expected = m_target.areas.value(area);
        const QVector<quint16> now = AreaFromImage(image, area).value_or(QVector<quint16>{});
        m_outcome.states[area] = DecideAreaState(m_before.areas.value(area), expected, now);
        int index = 0;
        for (const RegisterRange &r : AreaSpecOf(area).ranges) {
            for (int reg = r.first; reg < r.first + r.count; ++reg, ++index) {
                if (index >= now.size() || now[index] != expected[index])
                    m_outcome.differing
                        << QStringLiteral("%1: регистр %2").arg(QString::fromUtf8(AreaSpecOf(area).title)).arg(reg);
            }
        }
        // The meter recomputes from the points it holds: the same points, the same
        // coefficients. A meter that dropped command 24 keeps the old ones.
        if (!coefficientsKnown)
            continue;
        const QVector<quint16> before = m_before.areas.value(CalibrationArea::Coefficients);
        bool differs = false, kept = true;
        for (int i : CoefficientIndicesOf(area)) {
            if (coefficients && (*coefficients)[i] == expectedCoefficients[i])
                continue;
            differs = true;
            kept = kept && coefficients && i < before.size() && (*coefficients)[i] == before[i];
            m_outcome.differing
                << QStringLiteral("%1: регистр данных %2").arg(title).arg(AreaRegisterAt(CalibrationArea::Coefficients, i));
        }
        notRecalculated = notRecalculated || (differs && kept);
    }
    // Without command 24 the coefficients are only the snapshot's when they were already.
    const bool recalculated = m_nextStep == m_steps.size();
    m_outcome.restored = m_outcome.differing.isEmpty() && (recalculated || coefficientsKnown);
    if (m_outcome.restored) {
        m_outcome.message = QStringLiteral("восстановлено");
    } else {
        QString head = m_linkLost.isEmpty() ? QStringLiteral("Прибор хранит не то, что записано")
                                            : m_linkLost + QStringLiteral("; после восстановления связи прочитано");
        if (!m_outcome.differing.isEmpty())
            head += QStringLiteral(": ") + m_outcome.differing.join(QStringLiteral(", "));
        if (!recalculated)
            head += QStringLiteral("; команда пересчёта коэффициентов не отправлена");
        else if (notRecalculated)
            head += QStringLiteral("; прибор не пересчитал коэффициенты по записанным точкам");
        m_outcome.message = QStringLiteral("%1; %2. Путь назад — снимок №%3")
                                .arg(head, StatesSummary(m_areas, m_outcome.states))
                                .arg(m_outcome.beforeRestoreId);
    }
    if (!m_store.settleRestoresBefore(m_outcome.journalId, m_areas))
        m_outcome.message += QStringLiteral(" (журнал восстановлений не обновлён: %1)").arg(m_store.lastError());
    finish(m_outcome);
}

void TCalibrationRestorer::finishWithoutReadBack()
{
    // Nothing of an area that never left can be in the meter; the rest is unknown.
    QList<CalibrationArea> sent;
    for (qsizetype i = 0; i < m_nextStep; ++i) {
        if (m_steps[i].area && !sent.contains(*m_steps[i].area))
            sent << *m_steps[i].area;
    }
    for (CalibrationArea area : m_areas)
        m_outcome.states[area] = sent.contains(area) ? AreaRestoreState::Unchecked : AreaRestoreState::NotWritten;
    m_outcome.message = QStringLiteral("%1; записанное не проверено; %2. Путь назад — снимок №%3")
                            .arg(m_linkLost, StatesSummary(m_areas, m_outcome.states))
                            .arg(m_outcome.beforeRestoreId);
    finish(m_outcome);
}

void TCalibrationRestorer::onReadFailed(const QString &message)
{
    switch (m_stage) {
    case Stage::Idle:
    case Stage::Writing:
    case Stage::WaitingForLink:
        return;
    case Stage::ReadingBefore:
        m_outcome.message = QStringLiteral("%1: ничего не записано").arg(message);
        finish(m_outcome);
        return;
    case Stage::ReadingAfter:
        // A link lost again is waited for within the same time; a meter that is
        // there but silent is not.
        if (!m_dm.isPortOpen() && !(m_waiting.isValid() && m_waiting.elapsed() >= m_reconnectMs)) {
            onLinkLost(message);
            return;
        }
        if (m_linkLost.isEmpty())
            m_linkLost = message;
        finishWithoutReadBack();
        return;
    }
}

void TCalibrationRestorer::finish(RestoreOutcome outcome)
{
    m_stage = Stage::Idle;
    m_reconnect.stop();
    m_reader.cancel();
    if (outcome.journalId != 0 && !m_store.endRestore(outcome.journalId, outcome.restored, outcome.message))
        outcome.message += QStringLiteral(" (конец восстановления не записан в журнал: %1)").arg(m_store.lastError());
    emit finished(outcome);
}
