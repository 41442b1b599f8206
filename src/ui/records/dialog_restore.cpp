#include "ui/records/dialog_restore.h"
#include "records/snapshot_compare.h"
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

TDialog_Restore::TDialog_Restore(const Snapshot &target, const Snapshot &meterNow, QWidget *parent)
    : QDialog(parent), m_target(target), m_meterNow(meterNow)
{
    setObjectName(QStringLiteral("Dialog_Restore"));
    setWindowTitle(QStringLiteral("Восстановление калибровки из снимка №%1").arg(target.id));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Записать в прибор:"), this));
    for (CalibrationArea area : WritableCalibrationAreas()) {
        auto *box = new QCheckBox(QString::fromUtf8(AreaSpecOf(area).title), this);
        box->setObjectName(QStringLiteral("CheckBox_") + QString::fromLatin1(AreaSpecOf(area).key));
        const bool known = target.areas.contains(area);
        box->setEnabled(known);
        box->setChecked(known);
        if (!known)
            box->setToolTip(QStringLiteral("В снимке этой области нет"));
        connect(box, &QCheckBox::toggled, this, &TDialog_Restore::showDifferences);
        layout->addWidget(box);
        CheckBoxes.insert(area, box);
    }
    auto *caption = new QLabel(QStringLiteral("Что изменится в приборе (сейчас → после):"), this);
    layout->addWidget(caption);
    Memo_Differences = new QPlainTextEdit(this);
    Memo_Differences->setObjectName(QStringLiteral("Memo_Differences"));
    Memo_Differences->setReadOnly(true);
    Memo_Differences->setMinimumSize(560, 220);
    caption->setBuddy(Memo_Differences);
    layout->addWidget(Memo_Differences);
    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Восстановить"));
    Buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    // A restore overwrites the meter's calibration: Enter does not start it.
    Buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
    Buttons->button(QDialogButtonBox::Cancel)->setDefault(true);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(Buttons);
    showDifferences();
}

QList<CalibrationArea> TDialog_Restore::chosenAreas() const
{
    QList<CalibrationArea> areas;
    for (auto it = CheckBoxes.cbegin(); it != CheckBoxes.cend(); ++it) {
        if (it.value()->isChecked())
            areas << it.key();
    }
    return areas;
}

void TDialog_Restore::showDifferences()
{
    Snapshot present, restored;
    for (CalibrationArea area : chosenAreas()) {
        if (m_meterNow.areas.contains(area))
            present.areas.insert(area, m_meterNow.areas.value(area));
        restored.areas.insert(area, m_target.areas.value(area));
    }
    const QStringList lines = ComparisonLines(CompareSnapshots(present, restored));
    Memo_Differences->setPlainText(lines.isEmpty() ? QStringLiteral("Ничего не выбрано") : lines.join(QLatin1Char('\n')));
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(!chosenAreas().isEmpty());
}
