#include "ui/run/run_plan_parties_group.h"
#include "records/certificate_parties.h"
#include "records/record_text.h"
#include "ui/run/run_widgets.h"
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

using namespace RunWidgets;

namespace {

// The edits' object names, in the order of the shared field table.
constexpr const char *EditNames[] = {"Edit_Laboratory", "Edit_LaboratoryAddress", "Edit_Customer",
                                     "Edit_CustomerAddress", "Edit_Signatory", "Edit_SignatoryRole"};

} // namespace

TRunPlanPartiesGroup::TRunPlanPartiesGroup(QWidget *parent) : QGroupBox(QStringLiteral("Сертификат"), parent)
{
    setObjectName(QStringLiteral("Group_Parties"));
    setAccessibleName(QStringLiteral("Сертификат: лаборатория, заказчик, подпись"));
    const QList<CertificatePartyField> &fields = CertificatePartyFields();
    Q_ASSERT(fields.size() == int(std::size(EditNames)));
    // Each party's name and its address (the signatory's role) side by side: the page
    // keeps its height for the points.
    auto *grid = new QGridLayout(this);
    for (int i = 0; i < fields.size(); ++i) {
        QLineEdit *e = Edit(EditNames[i], QString::fromUtf8(fields[i].accessible), this);
        if (i % 2 == 0)
            grid->addWidget(new QLabel(QString::fromUtf8(fields[i].label), this), i / 2, 0);
        else
            e->setPlaceholderText(QString::fromUtf8(fields[i].label).toLower());
        grid->addWidget(e, i / 2, 1 + i % 2);
        m_edits << e;
    }
    Edit_Laboratory = m_edits[0];
    Edit_LaboratoryAddress = m_edits[1];
    Edit_Customer = m_edits[2];
    Edit_CustomerAddress = m_edits[3];
    Edit_Signatory = m_edits[4];
    Edit_SignatoryRole = m_edits[5];
    Edit_Customer->setPlaceholderText(QStringLiteral("для своего производства — пусто"));
    recall();
}

bool TRunPlanPartiesGroup::apply(RunOptions &options, QString *error)
{
    const QList<CertificatePartyField> &fields = CertificatePartyFields();
    for (int i = 0; i < fields.size(); ++i) {
        QLineEdit *e = m_edits[i];
        e->setStyleSheet(QString());
        e->setToolTip(QString());
        if (const QString problem = RecordTextProblem(e->accessibleName(), e->text()); !problem.isEmpty()) {
            *error = problem;
            e->setStyleSheet(QStringLiteral("background: #FFCDD2"));
            e->setToolTip(problem);
            return false;
        }
    }
    options.parties = typed();
    return true;
}

void TRunPlanPartiesGroup::recall()
{
    const CertificateParties p = LoadCertificateParties();
    const QList<CertificatePartyField> &fields = CertificatePartyFields();
    for (int i = 0; i < fields.size(); ++i)
        m_edits[i]->setText(p.*fields[i].member);
}

void TRunPlanPartiesGroup::remember() const
{
    SaveCertificateParties(typed());
}

CertificateParties TRunPlanPartiesGroup::typed() const
{
    CertificateParties p;
    const QList<CertificatePartyField> &fields = CertificatePartyFields();
    for (int i = 0; i < fields.size(); ++i)
        p.*fields[i].member = m_edits[i]->text().trimmed();
    return p;
}
