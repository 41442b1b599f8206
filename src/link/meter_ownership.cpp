#include "link/meter_ownership.h"
#include "link/meter_link.h"

TMeterOwnership::TMeterOwnership(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("MeterOwnership"));
}

TMeterOwnership &TMeterOwnership::of(TMeterLink &dm)
{
    if (auto *existing = dm.findChild<TMeterOwnership *>(QStringLiteral("MeterOwnership"), Qt::FindDirectChildrenOnly))
        return *existing;
    return *new TMeterOwnership(&dm);
}

bool TMeterOwnership::claim(QObject *holder, const QString &reason)
{
    if (!holder || (isOwned() && m_holder != holder))
        return false;
    if (m_holder != holder) {
        m_holder = holder;
        // A window closed mid-run must not leave the meter taken for good.
        m_watch = connect(holder, &QObject::destroyed, this, [this] {
            m_holder.clear();
            m_reason.clear();
            emit changed(false, QString());
        });
    }
    m_reason = reason;
    emit changed(true, m_reason);
    return true;
}

void TMeterOwnership::release(QObject *holder)
{
    if (!isOwned() || m_holder != holder)
        return;
    disconnect(m_watch);
    m_holder.clear();
    m_reason.clear();
    emit changed(false, QString());
}
