#pragma once
// The stable / settling mark beside a moving average: text and colour together
// ("✓ стабильно", "~ нестабильно", the window's fill while it fills), σ and the
// drift in its tool tip. Its thresholds are the engineer's, set from its context
// menu and remembered per quantity.
#include "procedure/stability.h"
#include "ui/calibration/sred_sdvig.h"
#include <QLabel>

class TStabilityIndicator : public QLabel
{
    Q_OBJECT
public:
    TStabilityIndicator(const StabilityQuantity &quantity, QWidget *parent = nullptr);

    void showState(const TSredSdvig &ring);
    void clearState();
    StabilityThresholds thresholds() const { return m_limits; }
    void setThresholds(const StabilityThresholds &limits);
    // Asks for both thresholds in a small dialog.
    void editThresholds();
    bool isStable() const { return m_stable; }

private:
    const StabilityQuantity &m_quantity;
    StabilityThresholds m_limits;
    bool m_stable = false;
};
