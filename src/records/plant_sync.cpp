#include "records/plant_sync.h"
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSettings>
#include <utility>

Q_LOGGING_CATEGORY(lcPlant, "kestro.records.plant", QtWarningMsg)

namespace {

constexpr int BatchSize = 64;
// One turn of the event loop uploads for about this long: the window stays live.
constexpr int SliceMs = 40;

QSettings programSettings()
{
    return QSettings(QStringLiteral("Velnor"), QStringLiteral("KestroLink"));
}

} // namespace

QString TPlantSync::ConfiguredUrl(const QString &commandLine)
{
    if (!commandLine.trimmed().isEmpty())
        return commandLine.trimmed();
    const QString env = qEnvironmentVariable("KESTRO_RECORDS_URL").trimmed();
    if (!env.isEmpty())
        return env;
    return programSettings().value(QStringLiteral("records/plant_url")).toString().trimmed();
}

void TPlantSync::SetConfiguredUrl(const QString &url)
{
    QSettings s = programSettings();
    if (url.trimmed().isEmpty())
        s.remove(QStringLiteral("records/plant_url"));
    else
        s.setValue(QStringLiteral("records/plant_url"), url.trimmed());
}

TPlantSync::TPlantSync(const QString &localLocation, const QString &plantUrl, QObject *parent)
    : QObject(parent), m_plantUrl(plantUrl), m_local(std::make_unique<TRecordStore>(localLocation)),
      m_plant(std::make_unique<TRecordStore>(plantUrl))
{
    m_watch.setInterval(DefaultWatchMs);
    m_retry.setInterval(DefaultRetryMs);
    m_retry.setSingleShot(true);
    connect(&m_watch, &QTimer::timeout, this, &TPlantSync::watch);
    connect(&m_retry, &QTimer::timeout, this, &TPlantSync::syncNow);
}

TPlantSync::~TPlantSync() = default;

void TPlantSync::setIntervals(int retryMs, int watchMs)
{
    m_retry.setInterval(retryMs);
    m_watch.setInterval(watchMs);
}

void TPlantSync::start()
{
    m_watch.start();
    syncNow();
}

void TPlantSync::syncNow()
{
    m_retry.stop();
    if (m_passing)
        return;
    m_passing = true;
    m_passFailed = false;
    m_skipped.clear();
    m_batch.clear();
    m_firstStep = true;
    QTimer::singleShot(0, this, &TPlantSync::step);
}

bool TPlantSync::pushAll()
{
    if (!m_local->forgetUploads()) {
        setError(m_local->lastError());
        return false;
    }
    countWaiting();
    syncNow();
    return true;
}

void TPlantSync::watch()
{
    countWaiting();
    // While the server is known to fail, only the retry timer (or the user) tries it.
    if (!m_passing && !m_retry.isActive() && m_waiting > 0)
        syncNow();
}

void TPlantSync::countWaiting()
{
    const int n = m_local->waitingCount();
    if (n < 0)
        setError(m_local->lastError());
    if (n != m_waiting) {
        m_waiting = n;
        emit waitingCountChanged(n);
    }
}

void TPlantSync::step()
{
    // Asked to sync, the server is reached even when nothing waits: whoever asked
    // learns that it does not answer.
    if (std::exchange(m_firstStep, false) && !m_plant->isOpen() && !m_plant->open()) {
        setError(m_plant->lastError());
        qCWarning(lcPlant) << "plant store:" << m_error;
        m_passFailed = true;
        endPass(false);
        return;
    }
    QElapsedTimer slice;
    slice.start();
    while (slice.elapsed() < SliceMs) {
        if (m_batch.isEmpty()) {
            for (const UploadItem &item : m_local->waiting(BatchSize + int(m_skipped.size()))) {
                if (!m_skipped.contains(item.uuid))
                    m_batch << item;
            }
            if (m_batch.isEmpty()) {
                if (!m_local->lastError().isEmpty())
                    setError(m_local->lastError());
                endPass(!m_passFailed && m_local->lastError().isEmpty());
                return;
            }
        }
        const UploadItem item = m_batch.takeFirst();
        if (m_local->upload(*m_plant, item)) {
            ++m_uploaded;
            continue;
        }
        if (m_local->uploadRefused()) {
            // Marked with the reason; it blocks neither the others nor the next pass.
            qCWarning(lcPlant) << "record" << item.uuid << "refused by the plant:" << m_local->lastError();
            continue;
        }
        if (!m_plant->isOpen()) {
            // The server is not there: everything waits for the next try.
            setError(m_plant->lastError());
            qCWarning(lcPlant) << "plant store:" << m_error;
            m_passFailed = true;
            endPass(false);
            return;
        }
        // This record did not go (the plant refused it, or it is damaged here): the
        // others still go, and it is tried again on the next pass.
        m_passFailed = true;
        m_skipped.insert(item.uuid);
        setError(m_local->lastError().isEmpty() ? m_plant->lastError() : m_local->lastError());
        qCWarning(lcPlant) << "record" << item.uuid << "not uploaded:" << m_error;
    }
    QTimer::singleShot(0, this, &TPlantSync::step);
}

void TPlantSync::endPass(bool ok)
{
    m_passing = false;
    m_batch.clear();
    if (ok)
        setError(QString());
    else
        m_retry.start();
    countWaiting();
    emit passFinished(ok);
}

void TPlantSync::setError(const QString &error)
{
    if (error == m_error)
        return;
    m_error = error;
    emit lastErrorChanged(error);
}
