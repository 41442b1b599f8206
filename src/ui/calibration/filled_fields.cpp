#include "ui/calibration/filled_fields.h"
#include "protocol/number_text.h"
#include "records/snapshot_compare.h"
#include <QLineEdit>
#include <QStringList>

QList<float> ParseFilledFields(CalibrationArea area, const QList<QLineEdit *> &boxes)
{
    QList<float> values;
    QStringList empty;
    for (QLineEdit *box : boxes) {
        if (box->text().trimmed().isEmpty()) {
            empty << AreaValueName(area, int(values.size()));
            values << 0.0f;
        } else {
            values << ParseTypedFloat(box->text());
        }
    }
    if (!empty.isEmpty())
        throw KestroError(QStringLiteral("Не заполнены поля: %1. В прибор ничего не записано.")
                              .arg(empty.join(QStringLiteral(", "))));
    return values;
}
