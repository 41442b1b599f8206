#include "ui/run/run_plan_reference_group.h"
#include "procedure/reference_check.h"
#include "ui/run/run_widgets.h"
#include <QDateEdit>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <array>

using namespace RunWidgets;

namespace {

// The certificate's figures: an empty optional one is "not stated" (U) or infinite (ν).
struct Figure
{
    const char *key; // under run/ in the settings
    const char *label;
    const char *accessible;
    bool optional;
    double min, max;
    const char *range;
};
const Figure Figures[] = {
    {"reference_uncertainty_percent", "U эталона, % от показания", "Расширенная неопределённость эталона, % от показания",
     true, 0, 10, "нужно число от 0 до 10 или пусто (не указана)"},
    {"reference_coverage_factor", "Коэффициент охвата k", "Коэффициент охвата неопределённости эталона", false, 1, 10,
     "нужно число от 1 до 10"},
    {"reference_dof", "Степени свободы ν", "Число степеней свободы неопределённости эталона", true, 1, 1e9,
     "нужно число не меньше 1 или пусто (бесконечно)"},
};

QSettings settings()
{
    return QSettings(QStringLiteral("Velnor"), QStringLiteral("KestroLink"));
}

QString settingKey(const char *key)
{
    return QStringLiteral("run/") + QLatin1String(key);
}

QLineEdit *figureEdit(const TRunPlanReferenceGroup &g, int i)
{
    return std::array{g.Edit_RefUncertainty, g.Edit_RefCoverage, g.Edit_RefDof}[size_t(i)];
}

} // namespace

TRunPlanReferenceGroup::TRunPlanReferenceGroup(QWidget *parent) : QGroupBox(QStringLiteral("Эталон"), parent)
{
    setObjectName(QStringLiteral("Group_Reference"));
    setAccessibleName(QStringLiteral("Эталон"));
    Edit_RefName = Edit("Edit_RefName", QStringLiteral("Эталонный расходомер"), this);
    Edit_RefCertificate = Edit("Edit_RefCertificate", QStringLiteral("Свидетельство эталона"), this);
    Date_RefDue = new QDateEdit(QDate::currentDate().addYears(1), this);
    Date_RefDue->setObjectName(QStringLiteral("Date_RefDue"));
    Date_RefDue->setAccessibleName(QStringLiteral("Эталон действителен до"));
    Date_RefDue->setCalendarPopup(true);
    Label_RefDue = Label("Label_RefDue", this);
    Label_RefDue->hide();
    Edit_RefUncertainty = Edit("Edit_RefUncertainty", QString::fromUtf8(Figures[0].accessible), this);
    Edit_RefUncertainty->setPlaceholderText(QStringLiteral("не указана"));
    Edit_RefCoverage = Edit("Edit_RefCoverage", QString::fromUtf8(Figures[1].accessible), this);
    Edit_RefDof = Edit("Edit_RefDof", QString::fromUtf8(Figures[2].accessible), this);
    Edit_RefDof->setPlaceholderText(QStringLiteral("∞"));

    auto *form = new QFormLayout(this);
    form->addRow(QStringLiteral("Эталон"), Edit_RefName);
    form->addRow(QStringLiteral("Свидетельство"), Edit_RefCertificate);
    form->addRow(QStringLiteral("Действительно до"), Date_RefDue);
    form->addRow(Label_RefDue);
    for (int i = 0; i < int(std::size(Figures)); ++i)
        form->addRow(QString::fromUtf8(Figures[i].label), figureEdit(*this, i));
    connect(Date_RefDue, &QDateEdit::dateChanged, this, &TRunPlanReferenceGroup::showDue);
    recall();
}

bool TRunPlanReferenceGroup::apply(RunOptions &options, QString *error, QDate today)
{
    std::array<std::optional<double>, std::size(Figures)> values;
    for (int i = 0; i < int(std::size(Figures)); ++i) {
        const Figure &f = Figures[i];
        QLineEdit *e = figureEdit(*this, i);
        e->setStyleSheet(QString());
        e->setToolTip(QString());
        if (f.optional && e->text().trimmed().isEmpty())
            continue;
        values[size_t(i)] = ParseNumber(e->text());
        if (!values[size_t(i)] || *values[size_t(i)] < f.min || *values[size_t(i)] > f.max) {
            *error = QStringLiteral("%1 «%2»: %3").arg(e->accessibleName(), e->text(), QString::fromUtf8(f.range));
            e->setStyleSheet(QStringLiteral("background: #FFCDD2"));
            e->setToolTip(*error);
            return false;
        }
    }
    showDue();
    const ReferenceDue due = ReferenceDueCheck(Date_RefDue->date(), today);
    if (due.kind == ReferenceDueKind::Lapsed) {
        *error = due.message;
        return false;
    }
    options.referenceName = Edit_RefName->text().trimmed();
    options.referenceCertificate = Edit_RefCertificate->text().trimmed();
    options.referenceDueDate = Date_RefDue->date();
    options.referenceUncertaintyPercent = values[0];
    options.referenceCoverageFactor = *values[1];
    options.referenceDegreesOfFreedom = values[2];
    return true;
}

void TRunPlanReferenceGroup::recall()
{
    QSettings s = settings();
    Edit_RefName->setText(s.value(QStringLiteral("run/reference_name")).toString());
    Edit_RefCertificate->setText(s.value(QStringLiteral("run/reference_certificate")).toString());
    const QDate due = s.value(QStringLiteral("run/reference_due_date")).toDate();
    if (due.isValid())
        Date_RefDue->setDate(due);
    const RunOptions defaults;
    const std::array<std::optional<double>, std::size(Figures)> fallback = {
        defaults.referenceUncertaintyPercent, defaults.referenceCoverageFactor, defaults.referenceDegreesOfFreedom};
    for (int i = 0; i < int(std::size(Figures)); ++i) {
        const QVariant v = s.value(settingKey(Figures[i].key));
        const std::optional<double> value = v.isValid() ? std::optional<double>(v.toDouble()) : fallback[size_t(i)];
        figureEdit(*this, i)->setText(value ? EditableNumber(*value) : QString());
    }
    showDue();
}

void TRunPlanReferenceGroup::remember() const
{
    QSettings s = settings();
    s.setValue(QStringLiteral("run/reference_name"), Edit_RefName->text().trimmed());
    s.setValue(QStringLiteral("run/reference_certificate"), Edit_RefCertificate->text().trimmed());
    s.setValue(QStringLiteral("run/reference_due_date"), Date_RefDue->date());
    // An empty optional figure is remembered as empty; a bad one leaves what was there.
    for (int i = 0; i < int(std::size(Figures)); ++i) {
        const QString text = figureEdit(*this, i)->text();
        if (Figures[i].optional && text.trimmed().isEmpty())
            s.remove(settingKey(Figures[i].key));
        else if (const std::optional<double> v = ParseNumber(text))
            s.setValue(settingKey(Figures[i].key), *v);
    }
}

void TRunPlanReferenceGroup::showDue()
{
    const ReferenceDue due = ReferenceDueCheck(Date_RefDue->date(), QDate::currentDate());
    const bool warn = due.kind == ReferenceDueKind::DueSoon || due.kind == ReferenceDueKind::Lapsed;
    Label_RefDue->setText(warn ? due.message : QString());
    Label_RefDue->setStyleSheet(due.kind == ReferenceDueKind::Lapsed ? QStringLiteral("color: #B71C1C")
                                                                     : QStringLiteral("color: #E65100"));
    Label_RefDue->setVisible(warn);
}
