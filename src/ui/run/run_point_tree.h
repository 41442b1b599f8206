#pragma once
// The run's points by phase, each with its flow or temperature, its state and its error.
#include "procedure/run_plan.h"
#include "records/run_record.h"
#include <QHash>
#include <QTreeWidget>

class TRunPointTree : public QTreeWidget
{
    Q_OBJECT
public:
    enum class PointState { Waiting, Settling, Averaging, Done, Retry, Skipped };
    static QString PointStateTitle(PointState state);

    explicit TRunPointTree(QWidget *parent = nullptr);

    // The phases taken at a fluid temperature, whose points name it instead of a flow.
    static bool TemperaturePhase(RunPhase phase);

    // Every point of the plan's phases, waiting.
    void showPlan(const RunPlan &plan);
    int pointCount() const;
    PointState pointState(RunPhase phase, int index) const;
    // A null note leaves the error column as it is.
    void setPointState(RunPhase phase, int index, PointState state, const QString &note = QString());
    // A point begun again counts as a retry.
    void startPoint(RunPhase phase, int index, const QString &flow);
    // The run ended: what was not taken is skipped.
    void skipTheRest();

private:
    QTreeWidgetItem *pointItem(RunPhase phase, int index) const;

    QHash<QTreeWidgetItem *, int> m_attempts;
};
