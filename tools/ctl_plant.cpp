#include "tools/ctl_plant.h"
#include "records/plant_sync.h"
#include "tools/ctl_runner.h"
#include <QEventLoop>

namespace {

QString verdict(const std::optional<bool> &fit)
{
    if (!fit)
        return QStringLiteral("-");
    return *fit ? QStringLiteral("fit") : QStringLiteral("not-fit");
}

QString localTime(const QDateTime &t)
{
    return t.isValid() ? t.toLocalTime().toString(Qt::ISODate) : QStringLiteral("-");
}

} // namespace

CtlPlant::CtlPlant(const QString &localLocation, const QString &plantUrl, QTextStream &out, QTextStream &err)
    : m_localLocation(localLocation), m_plantUrl(plantUrl), m_out(out), m_err(err)
{
}

bool CtlPlant::pass(bool pushAll, int *waiting, QString *error)
{
    TPlantSync sync(m_localLocation, m_plantUrl);
    QEventLoop loop;
    bool ok = false;
    QObject::connect(&sync, &TPlantSync::passFinished, &loop, [&](bool passed) {
        ok = passed;
        loop.quit();
    });
    if (pushAll) {
        if (!sync.pushAll()) {
            *error = sync.lastError();
            *waiting = -1;
            return false;
        }
    } else {
        sync.syncNow();
    }
    loop.exec();
    *waiting = sync.waitingCount();
    *error = sync.lastError();
    return ok;
}

int CtlPlant::sync(bool pushAll)
{
    if (!enabled()) {
        m_err << "kestroctl: сервер записей не задан (--records URL, $KESTRO_RECORDS_URL или настройка "
                 "records/plant_url)"
              << Qt::endl;
        return CtlExit::Usage;
    }
    int waiting = 0;
    QString error;
    const bool passed = pass(pushAll, &waiting, &error);
    // What the plant refused for its own data waits no more; it is named each time.
    TRecordStore local(m_localLocation);
    for (const RefusedUpload &r : local.refusedUploads())
        m_err << "kestroctl: сервер записей не принял "
              << (r.kind == UploadItem::Run           ? "калибровку "
                  : r.kind == UploadItem::Certificate ? "сертификат "
                                                      : "снимок ")
              << r.uuid << ": " << r.reason << Qt::endl;
    if (passed) {
        m_out << "все записи отправлены" << Qt::endl;
        return CtlExit::Done;
    }
    if (waiting < 0) {
        m_err << "kestroctl: " << error << Qt::endl;
        return CtlExit::RecordsError;
    }
    m_err << "kestroctl: " << error << "; записей ждут отправки: " << waiting << Qt::endl;
    return CtlExit::PlantUnreachable;
}

void CtlPlant::uploadWritten()
{
    if (!enabled())
        return;
    int waiting = 0;
    QString error;
    if (!pass(false, &waiting, &error))
        m_err << "kestroctl: сохранено на этом компьютере, на сервер записей ещё не отправлено: " << error
              << "; записей ждут отправки: " << waiting << " (их отправит kestroctl records sync)" << Qt::endl;
}

TRecordStore *CtlPlant::plantStore(int *code)
{
    m_plant = std::make_unique<TRecordStore>(m_plantUrl);
    if (m_plant->open())
        return m_plant.get();
    m_err << "kestroctl: " << m_plant->lastError() << Qt::endl;
    *code = CtlExit::PlantUnreachable;
    return nullptr;
}

int CtlPlant::meters(const QString &serial)
{
    int code = CtlExit::Done;
    TRecordStore local(m_localLocation);
    TRecordStore *store = enabled() ? plantStore(&code) : &local;
    if (!store)
        return code;
    const QList<MeterSummary> list = store->meters(serial);
    if (!store->lastError().isEmpty()) {
        m_err << "kestroctl: " << store->lastError() << Qt::endl;
        return CtlExit::RecordsError;
    }
    for (const MeterSummary &m : list) {
        m_out << m.serial << '\t' << localTime(m.firstSeenUtc) << '\t' << localTime(m.lastRunUtc) << '\t'
              << (m.lastRunUtc.isValid() ? EndKey(m.lastRunEnd) : QStringLiteral("-")) << '\t' << verdict(m.lastAsLeftFit)
              << '\t' << m.workstation << '\n';
    }
    m_out.flush();
    return CtlExit::Done;
}
