#pragma once
// "Стенд": the simulated test rig of --demo. The engineer sets the rig's flow and
// reads its reference meter, so a whole calibration can be practised without
// hardware. It says plainly that everything in it is simulated.
#include <QWidget>
#include <array>

class DemoMeter;
class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QTimer;
class QToolButton;

class TFormDemoRig : public QWidget
{
    Q_OBJECT
public:
    static constexpr int RefreshMs = 500;

    explicit TFormDemoRig(DemoMeter &meter, QWidget *parent = nullptr);

    // The rig's flow: fixed at the spin box's value, or stepping through the points.
    void applyFlow();
    void refreshReference();

    QCheckBox *CB_Stepping;
    QDoubleSpinBox *SE_Flow;
    QPushButton *Button_SetFlow;
    std::array<QPushButton *, 13> PointButtons{};
    QLineEdit *Edit_Reference;
    QToolButton *Button_CopyReference;
    QTimer *Timer_Refresh;

private:
    DemoMeter &m_meter;
};
