#include "app/demo_rig_window.h"
#include "app/demo_meter.h"
#include "protocol/number_text.h"
#include "ui/common/clipboard_text.h"
#include "ui/common/tool_images.h"
#include "ui/common/ui_fonts.h"
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr double MaxFlow = 1000.0; // the simulated rig's Q Max, kg/h
constexpr int Percent[13] = {-100, -75, -45, -25, -10, -5, 0, 5, 10, 25, 45, 75, 100};
} // namespace

TFormDemoRig::TFormDemoRig(DemoMeter &meter, QWidget *parent) : QWidget(parent, Qt::Window), m_meter(meter)
{
    setObjectName(QStringLiteral("FormDemoRig"));
    setWindowTitle(QStringLiteral("Стенд (симулятор)"));
    setFont(UiFont(8));

    auto *warning = new QLabel(QStringLiteral("Симулятор испытательного стенда: расход, прибор и эталонный "
                                              "расходомер смоделированы. Только для демонстрации и обучения."),
                               this);
    warning->setWordWrap(true);
    warning->setStyleSheet(QStringLiteral("color: #8a4b00; background: #fff3d6; padding: 6px;"));

    CB_Stepping = new QCheckBox(QStringLiteral("Перебирать точки калибровки автоматически"), this);
    CB_Stepping->setObjectName(QStringLiteral("CB_Stepping"));
    CB_Stepping->setChecked(true);

    SE_Flow = new QDoubleSpinBox(this);
    SE_Flow->setObjectName(QStringLiteral("SE_Flow"));
    SE_Flow->setRange(-1.2 * MaxFlow, 1.2 * MaxFlow);
    SE_Flow->setDecimals(1);
    SE_Flow->setSingleStep(10);
    SE_Flow->setSuffix(QStringLiteral(" кг/ч"));
    auto *flowLabel = new QLabel(QStringLiteral("Расход стенда"), this);
    flowLabel->setBuddy(SE_Flow);
    Button_SetFlow = new QPushButton(QStringLiteral("Установить"), this);
    Button_SetFlow->setObjectName(QStringLiteral("Button_SetFlow"));
    Button_SetFlow->setAccessibleName(QStringLiteral("Установить расход стенда"));

    auto *points = new QGridLayout;
    for (int i = 0; i < 13; ++i) {
        auto *button = new QPushButton(QStringLiteral("%1%").arg(Percent[i]), this);
        button->setObjectName(QStringLiteral("Button_Point_%1").arg(i + 1));
        button->setAccessibleName(QStringLiteral("Расход стенда %1% от Q Max").arg(Percent[i]));
        connect(button, &QPushButton::clicked, this, [this, i] {
            SE_Flow->setValue(Percent[i] / 100.0 * MaxFlow);
            applyFlow();
        });
        points->addWidget(button, i / 7, i % 7);
        PointButtons[size_t(i)] = button;
    }

    Edit_Reference = new QLineEdit(this);
    Edit_Reference->setObjectName(QStringLiteral("Edit_Reference"));
    Edit_Reference->setReadOnly(true);
    Edit_Reference->setFont(UiFont(12, true));
    auto *referenceLabel = new QLabel(QStringLiteral("Эталонный расходомер (кг/ч), среднее за время усреднения прибора"),
                                      this);
    referenceLabel->setWordWrap(true);
    referenceLabel->setBuddy(Edit_Reference);
    Button_CopyReference = new QToolButton(this);
    Button_CopyReference->setObjectName(QStringLiteral("Button_CopyReference"));
    Button_CopyReference->setIcon(ToolImage(ToolImages::Copy));
    Button_CopyReference->setToolTip(QStringLiteral("Скопировать в буфер"));
    Button_CopyReference->setAccessibleName(QStringLiteral("Скопировать в буфер: эталонный расход"));

    auto *flowRow = new QHBoxLayout;
    flowRow->addWidget(flowLabel);
    flowRow->addWidget(SE_Flow, 1);
    flowRow->addWidget(Button_SetFlow);
    auto *referenceRow = new QHBoxLayout;
    referenceRow->addWidget(Edit_Reference, 1);
    referenceRow->addWidget(Button_CopyReference);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(warning);
    layout->addWidget(CB_Stepping);
    layout->addLayout(flowRow);
    layout->addLayout(points);
    layout->addWidget(referenceLabel);
    layout->addLayout(referenceRow);
    layout->addStretch(1);

    connect(Button_SetFlow, &QPushButton::clicked, this, &TFormDemoRig::applyFlow);
    connect(CB_Stepping, &QCheckBox::toggled, this, [this](bool stepping) {
        if (stepping)
            m_meter.setRigFlow(std::nullopt);
        else
            applyFlow();
    });
    connect(Button_CopyReference, &QToolButton::clicked, this, [this] { CopyToClipboard(Edit_Reference->text()); });
    Timer_Refresh = new QTimer(this);
    Timer_Refresh->setInterval(RefreshMs);
    connect(Timer_Refresh, &QTimer::timeout, this, &TFormDemoRig::refreshReference);
    Timer_Refresh->start();
    refreshReference();
    resize(420, 300);
}

void TFormDemoRig::applyFlow()
{
    // A flow set by hand ends the stepping.
    const QSignalBlocker quiet(CB_Stepping);
    CB_Stepping->setChecked(false);
    m_meter.setRigFlow(SE_Flow->value());
    refreshReference();
}

void TFormDemoRig::refreshReference()
{
    Edit_Reference->setText(FormatFloatPattern(m_meter.referenceFlow(), NumPattern::P0_000));
}
