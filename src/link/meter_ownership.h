#pragma once
// Who drives the meter besides the windows' own polling. A calibration run claims
// the link for its whole length; windows that poll or average listen and stand
// their buttons down, saying why, until the claim is released. One per link.
#include <QObject>
#include <QPointer>
#include <QString>

class TMeterLink;

class TMeterOwnership : public QObject
{
    Q_OBJECT
public:
    // The link's own, made on first use as the link's child.
    static TMeterOwnership &of(TMeterLink &dm);

    bool isOwned() const { return !m_holder.isNull(); }
    // Why the meter is taken, as a tool tip says it ("Идёт калибровка по шагам: …").
    const QString &reason() const { return m_reason; }

    // False while another holder has it. A holder that is destroyed releases it.
    bool claim(QObject *holder, const QString &reason);
    void release(QObject *holder);

Q_SIGNALS:
    void changed(bool owned, const QString &reason);

private:
    explicit TMeterOwnership(QObject *parent);

    QPointer<QObject> m_holder;
    QString m_reason;
    QMetaObject::Connection m_watch;
};
