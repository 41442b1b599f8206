#include "ui/records/dialog_certificate.h"
#include "protocol/number_text.h"
#include "procedure/verification_table.h"
#include "ui/common/message_presenter.h"
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSettings>

namespace {
constexpr double DefaultTolerance = 0.2;
constexpr double MaxTolerance = 100.0;

QSettings settings()
{
    return QSettings(QStringLiteral("Velnor"), QStringLiteral("KestroLink"));
}

QString toleranceText(double percent)
{
    return QLocale().toString(percent, 'g', 6);
}
} // namespace

TDialog_Certificate::TDialog_Certificate(const Verification::Cells &grid, QWidget *parent)
    : QDialog(parent), m_grid(grid)
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
    Edit_Tolerance = edit("Edit_Tolerance");
    Edit_Tolerance->setText(toleranceText(RememberedTolerance()));
    Label_Tolerance = new QLabel(this);
    Label_Tolerance->setObjectName(QStringLiteral("Label_Tolerance"));
    Label_Tolerance->setWordWrap(true);
    Edit_Comment = edit("Edit_Comment");
    form->addRow(QStringLiteral("Поверитель"), Edit_Operator);
    form->addRow(QStringLiteral("Заводской номер"), Edit_Serial);
    form->addRow(QStringLiteral("Заказчик"), Edit_Customer);
    form->addRow(QStringLiteral("Допуск, ± %"), Edit_Tolerance);
    form->addRow(QString(), Label_Tolerance);
    form->addRow(QStringLiteral("Примечание"), Edit_Comment);
    Label_Tolerance->setAccessibleName(QStringLiteral("Вывод при этом допуске"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Сохранить PDF…"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
    connect(Edit_Tolerance, &QLineEdit::textChanged, this, &TDialog_Certificate::showTolerance);
    showTolerance();
}

double TDialog_Certificate::RememberedTolerance()
{
    const double remembered = settings().value(QStringLiteral("certificate/tolerance"), DefaultTolerance).toDouble();
    return remembered > 0 && remembered <= MaxTolerance ? remembered : DefaultTolerance;
}

void TDialog_Certificate::remember() const
{
    QSettings s = settings();
    s.setValue(QStringLiteral("certificate/operator"), Edit_Operator->text());
    s.setValue(QStringLiteral("certificate/tolerance"), tolerance());
}

double TDialog_Certificate::tolerance() const
{
    // A tolerance has no thousands: a comma is a decimal mark whatever the locale.
    const QString typed = Edit_Tolerance->text();
    float value = 0;
    try {
        value = ParseTypedFloat(QString(typed).replace(QLatin1Char(','), QLatin1Char('.')));
    } catch (const EConvertError &) {
        throw KestroError(QStringLiteral("Допуск «%1» — не число. Введите его в процентах, например %2.")
                              .arg(typed, toleranceText(DefaultTolerance)));
    }
    if (!(value > 0 && value <= MaxTolerance))
        throw KestroError(QStringLiteral("Допуск должен быть больше 0 и не больше 100 %."));
    // The float's own decimal text, so 0.1 stays 0.1 and not 0.100000001.
    return QString::number(value).toDouble();
}

void TDialog_Certificate::showTolerance()
{
    try {
        const double t = tolerance();
        Label_Tolerance->setText(Verification::SummaryLine(Verification::Summarize(m_grid, t), t));
    } catch (const KestroError &e) {
        Label_Tolerance->setText(e.message());
    }
}

void TDialog_Certificate::accept()
{
    QString refusal;
    if (Edit_Serial->text().trimmed().isEmpty()) {
        refusal = QStringLiteral("Введите заводской номер прибора: без него протокол не составляется.");
    } else {
        try {
            (void)tolerance();
        } catch (const KestroError &e) {
            refusal = e.message();
        }
    }
    if (refusal.isEmpty()) {
        QDialog::accept();
        return;
    }
    ShowMessage(this, {QMessageBox::Warning, windowTitle(), refusal, QMessageBox::Ok, QMessageBox::Ok});
}
