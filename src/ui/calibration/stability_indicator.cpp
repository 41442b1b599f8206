#include "ui/calibration/stability_indicator.h"
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLocale>
#include <QMenu>
#include <QSettings>

namespace {

QSettings settings()
{
    return QSettings(QStringLiteral("Velnor"), QStringLiteral("KestroLink"));
}

QString settingKey(const StabilityQuantity &q, const char *what)
{
    return QStringLiteral("stability/%1/%2").arg(QLatin1String(q.key), QLatin1String(what));
}

QString number(double v)
{
    return QLocale().toString(v, 'g', 3);
}

} // namespace

TStabilityIndicator::TStabilityIndicator(const StabilityQuantity &quantity, QWidget *parent)
    : QLabel(parent), m_quantity(quantity)
{
    setObjectName(QStringLiteral("Stability_") + QString::fromLatin1(quantity.key));
    setAccessibleName(QStringLiteral("Стабильность: ") + QString::fromUtf8(quantity.title));
    setMinimumWidth(100);
    setMargin(2);
    const QSettings s = settings();
    m_limits = {s.value(settingKey(quantity, "sigma"), quantity.defaults.sigma).toDouble(),
                s.value(settingKey(quantity, "drift"), quantity.defaults.drift).toDouble()};
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        QMenu menu(this);
        menu.addAction(QStringLiteral("Пороги стабильности…"), this, &TStabilityIndicator::editThresholds);
        menu.exec(mapToGlobal(pos));
    });
    clearState();
}

void TStabilityIndicator::clearState()
{
    m_stable = false;
    setText(QStringLiteral("нет данных"));
    setStyleSheet(QString());
    setToolTip(QStringLiteral("Правая кнопка мыши: пороги стабильности"));
}

void TStabilityIndicator::showState(const TSredSdvig &ring)
{
    const StabilityState s = AssessStability(ring, m_limits);
    m_stable = s.stable;
    if (s.filled < TSredSdvig::Size)
        setText(QStringLiteral("… %1 из %2").arg(s.filled).arg(TSredSdvig::Size));
    else
        setText(s.stable ? QStringLiteral("✓ стабильно") : QStringLiteral("~ нестабильно"));
    // Blue and orange stay apart for every common kind of colour blindness; the text says it anyway.
    setStyleSheet(s.stable ? QStringLiteral("background:#1565C0; color:white; font-weight:bold;")
                           : QStringLiteral("background:#FFB74D; color:black;"));
    setToolTip(QStringLiteral("σ = %1 (порог %2)\nдрейф за окно = %3 (порог %4)\nПравая кнопка мыши: пороги")
                   .arg(number(s.sigma), number(m_limits.sigma), number(s.drift), number(m_limits.drift)));
}

void TStabilityIndicator::setThresholds(const StabilityThresholds &limits)
{
    m_limits = limits;
    QSettings s = settings();
    s.setValue(settingKey(m_quantity, "sigma"), limits.sigma);
    s.setValue(settingKey(m_quantity, "drift"), limits.drift);
}

void TStabilityIndicator::editThresholds()
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("Dialog_StabilityThresholds"));
    dialog.setWindowTitle(QStringLiteral("Пороги стабильности: ") + QString::fromUtf8(m_quantity.title));
    auto *form = new QFormLayout(&dialog);
    auto spin = [&](const char *name, double value) {
        auto *box = new QDoubleSpinBox(&dialog);
        box->setObjectName(QString::fromLatin1(name));
        box->setDecimals(4);
        box->setRange(0.0001, 1e6);
        box->setValue(value);
        return box;
    };
    QDoubleSpinBox *sigma = spin("Spin_Sigma", m_limits.sigma);
    QDoubleSpinBox *drift = spin("Spin_Drift", m_limits.drift);
    form->addRow(QStringLiteral("σ меньше"), sigma);
    form->addRow(QStringLiteral("Дрейф за 15 с меньше"), drift);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() == QDialog::Accepted)
        setThresholds({sigma->value(), drift->value()});
}
