#include "ui/run/run_point_tree.h"
#include "ui/run/run_widgets.h"
#include <QHeaderView>

QString TRunPointTree::PointStateTitle(PointState state)
{
    switch (state) {
    case PointState::Waiting: return QStringLiteral("ждёт");
    case PointState::Settling: return QStringLiteral("устанавливается");
    case PointState::Averaging: return QStringLiteral("усреднение");
    case PointState::Done: return QStringLiteral("готово");
    case PointState::Retry: return QStringLiteral("повтор");
    case PointState::Skipped: return QStringLiteral("пропущено");
    }
    return QString();
}

TRunPointTree::TRunPointTree(QWidget *parent) : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("Tree_Points"));
    setAccessibleName(QStringLiteral("Точки прогона"));
    setHeaderLabels({QStringLiteral("Точка"), QStringLiteral("Расход, кг/ч"), QStringLiteral("Состояние"),
                     QStringLiteral("Погрешность")});
    // Every text whole: a column is as wide as its longest, the list scrolls sideways.
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
}

bool TRunPointTree::TemperaturePhase(RunPhase phase)
{
    return phase == RunPhase::Thermometer || phase == RunPhase::ThermometerCheck || phase == RunPhase::Zero
           || phase == RunPhase::ZeroTemperatureCheck;
}

void TRunPointTree::showPlan(const RunPlan &plan)
{
    clear();
    m_attempts.clear();
    const auto addPhase = [this](RunPhase phase, const QList<double> &values, const QString &unit) {
        auto *top = new QTreeWidgetItem(this, {PhaseTitle(phase)});
        top->setData(0, Qt::UserRole, int(phase));
        for (int i = 0; i < values.size(); ++i) {
            auto *item = new QTreeWidgetItem(
                top, {QStringLiteral("%1: %2 %3").arg(i + 1).arg(RunWidgets::EditableNumber(values[i]), unit), QString(),
                      PointStateTitle(PointState::Waiting)});
            item->setData(2, Qt::UserRole, int(PointState::Waiting));
        }
        top->setExpanded(true);
    };
    const QList<double> temperatures{plan.lowTemperature, plan.highTemperature};
    const QString celsius = QStringLiteral("°C");
    const QString percent = QStringLiteral("%");
    if (plan.thermometerPhase) {
        addPhase(RunPhase::Thermometer, temperatures, celsius);
        addPhase(RunPhase::ThermometerCheck, temperatures, celsius);
    }
    if (plan.zeroPhase) {
        addPhase(RunPhase::Zero, temperatures, celsius);
        addPhase(RunPhase::ZeroTemperatureCheck, temperatures, celsius);
    }
    if (plan.zeroCheck != RunPlan::ZeroCheckMode::Off && (plan.verificationPhase || plan.flowPhase))
        addPhase(RunPhase::ZeroCheck, {0.0}, percent);
    if (plan.verificationPhase)
        addPhase(RunPhase::AsFound, plan.verificationPercent, percent);
    if (plan.flowPhase)
        addPhase(RunPhase::Calibration, plan.calibrationPercent, percent);
    if (plan.verificationPhase)
        addPhase(RunPhase::AsLeft, plan.verificationPercent, percent);
}

int TRunPointTree::pointCount() const
{
    int n = 0;
    for (int i = 0; i < topLevelItemCount(); ++i)
        n += topLevelItem(i)->childCount();
    return n;
}

QTreeWidgetItem *TRunPointTree::pointItem(RunPhase phase, int index) const
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = topLevelItem(i);
        if (top->data(0, Qt::UserRole).toInt() == int(phase))
            return index >= 1 && index <= top->childCount() ? top->child(index - 1) : nullptr;
    }
    return nullptr;
}

TRunPointTree::PointState TRunPointTree::pointState(RunPhase phase, int index) const
{
    const QTreeWidgetItem *item = pointItem(phase, index);
    return item ? PointState(item->data(2, Qt::UserRole).toInt()) : PointState::Waiting;
}

void TRunPointTree::setPointState(RunPhase phase, int index, PointState state, const QString &note)
{
    QTreeWidgetItem *item = pointItem(phase, index);
    if (!item)
        return;
    item->setData(2, Qt::UserRole, int(state));
    item->setText(2, PointStateTitle(state));
    if (!note.isNull())
        item->setText(3, note);
    if (state == PointState::Settling || state == PointState::Retry)
        scrollToItem(item);
}

void TRunPointTree::startPoint(RunPhase phase, int index, const QString &flow)
{
    QTreeWidgetItem *item = pointItem(phase, index);
    if (!item)
        return;
    item->setText(1, flow);
    const int attempts = ++m_attempts[item];
    setPointState(phase, index, attempts > 1 ? PointState::Retry : PointState::Settling, QString());
}

void TRunPointTree::skipTheRest()
{
    for (int i = 0; i < topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = topLevelItem(i);
        for (int c = 0; c < top->childCount(); ++c) {
            if (PointState(top->child(c)->data(2, Qt::UserRole).toInt()) != PointState::Done) {
                top->child(c)->setData(2, Qt::UserRole, int(PointState::Skipped));
                top->child(c)->setText(2, PointStateTitle(PointState::Skipped));
            }
        }
    }
}
