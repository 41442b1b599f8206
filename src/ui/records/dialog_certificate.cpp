#include "ui/records/dialog_certificate.h"
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

namespace {
QSettings settings()
{
    return QSettings(QStringLiteral("Velnor"), QStringLiteral("KestroLink"));
}
} // namespace

TDialog_Certificate::TDialog_Certificate(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Dialog_Certificate"));
    setWindowTitle(QStringLiteral("Протокол поверки"));
    auto *form = new QFormLayout(this);
    auto edit = [this](const char *name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setMinimumWidth(280);
        return e;
    };
    Edit_Operator = edit("Edit_Operator");
    Edit_Operator->setText(settings().value(QStringLiteral("certificate/operator")).toString());
    Edit_Serial = edit("Edit_Serial");
    Edit_Customer = edit("Edit_Customer");
    Spin_Tolerance = new QDoubleSpinBox(this);
    Spin_Tolerance->setObjectName(QStringLiteral("Spin_Tolerance"));
    Spin_Tolerance->setDecimals(3);
    Spin_Tolerance->setRange(0.001, 100.0);
    Spin_Tolerance->setSuffix(QStringLiteral(" %"));
    Spin_Tolerance->setValue(RememberedTolerance());
    Edit_Comment = edit("Edit_Comment");
    form->addRow(QStringLiteral("Поверитель"), Edit_Operator);
    form->addRow(QStringLiteral("Заводской номер"), Edit_Serial);
    form->addRow(QStringLiteral("Заказчик"), Edit_Customer);
    form->addRow(QStringLiteral("Допуск, ±"), Spin_Tolerance);
    form->addRow(QStringLiteral("Примечание"), Edit_Comment);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Сохранить PDF…"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

double TDialog_Certificate::RememberedTolerance()
{
    return settings().value(QStringLiteral("certificate/tolerance"), 0.2).toDouble();
}

void TDialog_Certificate::remember() const
{
    QSettings s = settings();
    s.setValue(QStringLiteral("certificate/operator"), Edit_Operator->text());
    s.setValue(QStringLiteral("certificate/tolerance"), Spin_Tolerance->value());
}
