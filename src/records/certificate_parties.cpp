#include "records/certificate_parties.h"
#include <QSettings>

namespace {

QSettings programSettings()
{
    return QSettings(QStringLiteral("Velnor"), QStringLiteral("KestroLink"));
}

QString settingKey(const CertificatePartyField &f)
{
    return QStringLiteral("certificate/") + QLatin1String(f.key);
}

} // namespace

const QList<CertificatePartyField> &CertificatePartyFields()
{
    static const QList<CertificatePartyField> fields = {
        {"laboratory", "Лаборатория", "Калибровочная лаборатория", &CertificateParties::laboratoryName},
        {"laboratory-address", "Адрес лаборатории", "Адрес калибровочной лаборатории",
         &CertificateParties::laboratoryAddress},
        {"customer", "Заказчик", "Заказчик", &CertificateParties::customerName},
        {"customer-address", "Адрес заказчика", "Адрес заказчика", &CertificateParties::customerAddress},
        {"signatory", "Подписывает", "Лицо, подписывающее сертификат", &CertificateParties::signatoryName},
        {"signatory-role", "Должность", "Должность подписывающего", &CertificateParties::signatoryRole},
    };
    return fields;
}

CertificateParties LoadCertificateParties()
{
    const QSettings s = programSettings();
    CertificateParties p;
    // A hand-written file's unquoted "Казань, ул. Садовая" reads as a list of its parts.
    for (const CertificatePartyField &f : CertificatePartyFields()) {
        const QVariant v = s.value(settingKey(f));
        p.*f.member = (v.typeId() == QMetaType::QStringList ? v.toStringList().join(QStringLiteral(", ")) : v.toString())
                          .trimmed();
    }
    return p;
}

void SaveCertificateParties(const CertificateParties &parties)
{
    QSettings s = programSettings();
    for (const CertificatePartyField &f : CertificatePartyFields()) {
        const QString text = (parties.*f.member).trimmed();
        if (text.isEmpty())
            s.remove(settingKey(f));
        else
            s.setValue(settingKey(f), text);
    }
}
