#include "rig/rig.h"

// A rig without a temperature set point never takes one; the run asks the operator
// instead and does not call this.
void TRig::setTemperature(double celsius)
{
    Q_EMIT failed(QStringLiteral("стенд не задаёт температуру жидкости (%1 °C): её задаёт оператор")
                      .arg(QString::number(celsius, 'f', 1).replace(QLatin1Char('.'), QLatin1Char(','))));
}
