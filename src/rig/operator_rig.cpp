#include "rig/operator_rig.h"

QString TOperatorRig::description() const
{
    return QStringLiteral("Без связи со стендом: расход задаёт и эталон вводит оператор");
}

QJsonObject TOperatorRig::settings() const
{
    return QJsonObject{{QStringLiteral("kind"), kind()}};
}

void TOperatorRig::open()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            open_ = true;
            Q_EMIT opened();
        },
        Qt::QueuedConnection);
}

void TOperatorRig::setFlow(double)
{
    QMetaObject::invokeMethod(
        this,
        [this] { Q_EMIT failed(QStringLiteral("Стенд без связи: расход задаёт оператор, нужен ввод оператора")); },
        Qt::QueuedConnection);
}

void TOperatorRig::readReference()
{
    QMetaObject::invokeMethod(
        this,
        [this] { Q_EMIT failed(QStringLiteral("Стенд без связи: показание эталона — ввод оператора")); },
        Qt::QueuedConnection);
}
