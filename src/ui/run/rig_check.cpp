#include "ui/run/rig_check.h"
#include "rig/rig.h"
#include "report/run_result_text.h"

using RunResultText::Fixed3;

TRigCheck::TRigCheck(QObject *parent) : QObject(parent) {}

TRigCheck::~TRigCheck() = default;

void TRigCheck::start(std::unique_ptr<TRig> owned, std::function<void(const QString &)> report)
{
    m_rig = std::move(owned);
    TRig *rig = m_rig.get();
    const auto done = [this, report](const QString &text) {
        m_rig->disconnect(this);
        m_rig->close();
        report(text);
        // Not from inside the rig's own signal.
        QMetaObject::invokeMethod(this, [this] { m_rig.reset(); }, Qt::QueuedConnection);
    };
    connect(rig, &TRig::failed, this, [done](const QString &message) { done(QStringLiteral("Нет связи: %1").arg(message)); });
    connect(rig, &TRig::opened, this, [rig, done] {
        if (!rig->readsReference()) {
            done(QStringLiteral("%1: показания эталона вводит оператор").arg(rig->description()));
            return;
        }
        rig->readReference();
    });
    connect(rig, &TRig::reading, this, [done](const RigReading &r) {
        QString text = QStringLiteral("Эталон: %1 кг/ч").arg(Fixed3(r.referenceFlow));
        if (r.rigFlow)
            text += QStringLiteral(", расход стенда: %1 кг/ч").arg(Fixed3(*r.rigFlow));
        if (r.referenceTemperature)
            text += QStringLiteral(", термометр: %1 °C").arg(Fixed3(*r.referenceTemperature));
        done(text);
    });
    rig->open();
}
