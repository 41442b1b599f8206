#include "tools/ctl_parties.h"
#include "records/certificate_parties.h"
#include "records/record_text.h"

std::optional<CertificateParties> ParseCtlParties(const std::function<std::optional<QString>(const char *key)> &given,
                                                  QString *error)
{
    CertificateParties parties = LoadCertificateParties();
    for (const CertificatePartyField &f : CertificatePartyFields()) {
        const std::optional<QString> text = given(f.key);
        if (!text)
            continue;
        if (const QString problem = RecordTextProblem(QStringLiteral("--") + QLatin1String(f.key), *text);
            !problem.isEmpty()) {
            *error = problem;
            return std::nullopt;
        }
        parties.*f.member = text->trimmed();
    }
    return parties;
}
