#pragma once
// "Стенд": the simulated test rig of --demo. The engineer sets the rig's flow and
// its fluid temperature and reads its reference meter and reference thermometer,
// so a whole calibration (thermometer, zero, flow, verification) can be practised
// without hardware. It says plainly that everything in it is simulated.
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
    void applyTemperature();
    void refreshReference();
    // Stands beside the window, inside the work area of that window's screen; call it
    // once shown, when the layout has settled the size.
    void placeBeside(const QWidget &window);

    QCheckBox *CB_Stepping;
    QDoubleSpinBox *SE_Flow;
    QPushButton *Button_SetFlow;
    std::array<QPushButton *, 13> PointButtons{};
    QLineEdit *Edit_RigFlow;
    QLineEdit *Edit_Reference;
    QToolButton *Button_CopyReference;
    QDoubleSpinBox *SE_Temperature;
    QPushButton *Button_SetTemperature;
    QPushButton *Button_Temperature_20, *Button_Temperature_60;
    QLineEdit *Edit_ReferenceTemperature;
    QToolButton *Button_CopyReferenceTemperature;
    QTimer *Timer_Refresh;

private:
    QWidget *buildFlowGroup();
    QWidget *buildTemperatureGroup();

    DemoMeter &m_meter;
};
