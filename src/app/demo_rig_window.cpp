#include "app/demo_rig_window.h"
#include "app/demo_meter.h"
#include "app/window_beside.h"
#include "protocol/number_text.h"
#include "ui/common/clipboard_text.h"
#include "ui/common/tool_images.h"
#include "ui/common/ui_fonts.h"
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr double MaxFlow = 1000.0; // the simulated rig's Q Max, kg/h
constexpr int Percent[13] = {-100, -75, -45, -25, -10, -5, 0, 5, 10, 25, 45, 75, 100};

QLineEdit *readingBox(QWidget *parent, const QString &name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(true);
    edit->setFont(UiFont(12, true));
    return edit;
}

QToolButton *copyButton(QWidget *parent, const QString &name, const QString &what, QLineEdit *source)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(ToolImage(ToolImages::Copy));
    button->setToolTip(QStringLiteral("Скопировать в буфер"));
    button->setAccessibleName(QStringLiteral("Скопировать в буфер: %1").arg(what));
    QObject::connect(button, &QToolButton::clicked, parent, [source] { CopyToClipboard(source->text()); });
    return button;
}

// A caption over its box (and the box's copy button, if any).
void addReading(QVBoxLayout *layout, QWidget *parent, const QString &caption, QLineEdit *box, QToolButton *copy)
{
    auto *label = new QLabel(caption, parent);
    label->setWordWrap(true);
    label->setBuddy(box);
    box->setAccessibleName(caption);
    auto *row = new QHBoxLayout;
    row->addWidget(box, 1);
    if (copy)
        row->addWidget(copy);
    layout->addWidget(label);
    layout->addLayout(row);
}
} // namespace

TFormDemoRig::TFormDemoRig(DemoMeter &meter, QWidget *parent) : QWidget(parent, Qt::Window), m_meter(meter)
{
    setObjectName(QStringLiteral("FormDemoRig"));
    setWindowTitle(QStringLiteral("Стенд (симулятор)"));
    setFont(UiFont(8));

    auto *warning = new QLabel(QStringLiteral("Симулятор испытательного стенда: расход, температура, прибор, эталонный "
                                              "расходомер и термометр смоделированы. Только для демонстрации и обучения."),
                               this);
    warning->setWordWrap(true);
    warning->setStyleSheet(QStringLiteral("color: #8a4b00; background: #fff3d6; padding: 6px;"));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(warning);
    layout->addWidget(buildFlowGroup());
    layout->addWidget(buildTemperatureGroup());
    layout->addStretch(1);

    Timer_Refresh = new QTimer(this);
    Timer_Refresh->setInterval(RefreshMs);
    connect(Timer_Refresh, &QTimer::timeout, this, &TFormDemoRig::refreshReference);
    Timer_Refresh->start();
    // Stepping is off at first: the rig holds the spin box's flow (none), as for a zero.
    applyFlow();
}

QWidget *TFormDemoRig::buildFlowGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Расход"), this);
    CB_Stepping = new QCheckBox(QStringLiteral("Перебирать точки калибровки автоматически"), group);
    CB_Stepping->setObjectName(QStringLiteral("CB_Stepping"));
    CB_Stepping->setChecked(false);

    SE_Flow = new QDoubleSpinBox(group);
    SE_Flow->setObjectName(QStringLiteral("SE_Flow"));
    SE_Flow->setRange(-1.2 * MaxFlow, 1.2 * MaxFlow);
    SE_Flow->setDecimals(1);
    SE_Flow->setSingleStep(10);
    SE_Flow->setSuffix(QStringLiteral(" кг/ч"));
    auto *flowLabel = new QLabel(QStringLiteral("Расход стенда"), group);
    flowLabel->setBuddy(SE_Flow);
    SE_Flow->setAccessibleName(flowLabel->text());
    Button_SetFlow = new QPushButton(QStringLiteral("Установить"), group);
    Button_SetFlow->setObjectName(QStringLiteral("Button_SetFlow"));
    Button_SetFlow->setAccessibleName(QStringLiteral("Установить расход стенда"));

    auto *points = new QGridLayout;
    for (int i = 0; i < 13; ++i) {
        auto *button = new QPushButton(QStringLiteral("%1%").arg(Percent[i]), group);
        button->setObjectName(QStringLiteral("Button_Point_%1").arg(i + 1));
        button->setAccessibleName(QStringLiteral("Расход стенда %1% от Q Max").arg(Percent[i]));
        connect(button, &QPushButton::clicked, this, [this, i] {
            SE_Flow->setValue(Percent[i] / 100.0 * MaxFlow);
            applyFlow();
        });
        points->addWidget(button, i / 7, i % 7);
        PointButtons[size_t(i)] = button;
    }

    Edit_RigFlow = readingBox(group, QStringLiteral("Edit_RigFlow"));
    Edit_Reference = readingBox(group, QStringLiteral("Edit_Reference"));
    Button_CopyReference = copyButton(group, QStringLiteral("Button_CopyReference"), QStringLiteral("эталонный расход"),
                                      Edit_Reference);

    auto *flowRow = new QHBoxLayout;
    flowRow->addWidget(flowLabel);
    flowRow->addWidget(SE_Flow, 1);
    flowRow->addWidget(Button_SetFlow);
    auto *layout = new QVBoxLayout(group);
    layout->addWidget(CB_Stepping);
    layout->addLayout(flowRow);
    layout->addLayout(points);
    addReading(layout, group, QStringLiteral("Стенд держит сейчас (кг/ч)"), Edit_RigFlow, nullptr);
    addReading(layout, group, QStringLiteral("Эталонный расходомер (кг/ч), среднее за время усреднения прибора"),
               Edit_Reference, Button_CopyReference);

    connect(Button_SetFlow, &QPushButton::clicked, this, &TFormDemoRig::applyFlow);
    connect(CB_Stepping, &QCheckBox::toggled, this, [this](bool stepping) {
        if (!stepping) {
            applyFlow();
            return;
        }
        m_meter.setRigFlow(std::nullopt);
        refreshReference();
    });
    return group;
}

QWidget *TFormDemoRig::buildTemperatureGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Температура жидкости"), this);
    SE_Temperature = new QDoubleSpinBox(group);
    SE_Temperature->setObjectName(QStringLiteral("SE_Temperature"));
    SE_Temperature->setRange(0.0, 90.0);
    SE_Temperature->setDecimals(1);
    SE_Temperature->setValue(20.0);
    SE_Temperature->setSuffix(QStringLiteral(" °C"));
    auto *label = new QLabel(QStringLiteral("Температура"), group);
    label->setBuddy(SE_Temperature);
    SE_Temperature->setAccessibleName(QStringLiteral("Температура жидкости"));
    Button_SetTemperature = new QPushButton(QStringLiteral("Установить"), group);
    Button_SetTemperature->setObjectName(QStringLiteral("Button_SetTemperature"));
    Button_SetTemperature->setAccessibleName(QStringLiteral("Установить температуру жидкости"));
    const auto preset = [this, group](double celsius) {
        auto *button = new QPushButton(QStringLiteral("%1 °C").arg(celsius), group);
        button->setObjectName(QStringLiteral("Button_Temperature_%1").arg(celsius));
        button->setAccessibleName(QStringLiteral("Температура жидкости %1 °C").arg(celsius));
        connect(button, &QPushButton::clicked, this, [this, celsius] {
            SE_Temperature->setValue(celsius);
            applyTemperature();
        });
        return button;
    };
    Button_Temperature_20 = preset(20);
    Button_Temperature_60 = preset(60);

    Edit_ReferenceTemperature = readingBox(group, QStringLiteral("Edit_ReferenceTemperature"));
    Button_CopyReferenceTemperature = copyButton(group, QStringLiteral("Button_CopyReferenceTemperature"),
                                                 QStringLiteral("эталонная температура"), Edit_ReferenceTemperature);

    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(SE_Temperature, 1);
    row->addWidget(Button_SetTemperature);
    row->addWidget(Button_Temperature_20);
    row->addWidget(Button_Temperature_60);
    auto *layout = new QVBoxLayout(group);
    auto *note = new QLabel(QStringLiteral("Трубка прибора принимает температуру жидкости не сразу: "
                                           "дождитесь отметки «стабильно»."),
                            group);
    note->setWordWrap(true);
    layout->addLayout(row);
    layout->addWidget(note);
    addReading(layout, group, QStringLiteral("Эталонный термометр в жидкости (°C)"), Edit_ReferenceTemperature,
               Button_CopyReferenceTemperature);
    connect(Button_SetTemperature, &QPushButton::clicked, this, &TFormDemoRig::applyTemperature);
    return group;
}

void TFormDemoRig::applyFlow()
{
    // A flow set by hand ends the stepping.
    const QSignalBlocker quiet(CB_Stepping);
    CB_Stepping->setChecked(false);
    m_meter.setRigFlow(SE_Flow->value());
    refreshReference();
}

void TFormDemoRig::applyTemperature()
{
    m_meter.setFluidTemperature(SE_Temperature->value());
    refreshReference();
}

void TFormDemoRig::refreshReference()
{
    const DemoMeter::RigReadings rig = m_meter.readRig();
    Edit_RigFlow->setText(FormatFloatPattern(rig.setFlow, NumPattern::P0_0hh));
    Edit_Reference->setText(FormatFloatPattern(rig.referenceFlow, NumPattern::P0_000));
    Edit_ReferenceTemperature->setText(FormatFloatPattern(rig.referenceTemperature, NumPattern::P0_00));
}

void TFormDemoRig::placeBeside(const QWidget &window)
{
    const QScreen *screen = window.screen();
    if (!screen)
        return;
    // Until the window manager has framed this window, its frame is guessed from the anchor's.
    const QSize decorations = window.frameGeometry().size() - window.size();
    const QSize frame = (size() + decorations).expandedTo(frameGeometry().size());
    const QPoint corner = PlaceBeside(window.frameGeometry(), frame, screen->availableGeometry());
    move(corner); // move() places the frame's top-left corner
}
