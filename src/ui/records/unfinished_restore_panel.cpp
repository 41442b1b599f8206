#include "ui/records/unfinished_restore_panel.h"
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

TUnfinishedRestorePanel::TUnfinishedRestorePanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("Panel_UnfinishedRestore"));
    setAccessibleName(QStringLiteral("Незавершённое восстановление"));
    setFrameShape(QFrame::StyledPanel);
    Label_Unfinished = new QLabel(this);
    Label_Unfinished->setObjectName(QStringLiteral("Label_Unfinished"));
    Label_Unfinished->setWordWrap(true);
    Label_Unfinished->setStyleSheet(QStringLiteral("color: #a00000;"));
    Button_FinishRestore = new QPushButton(QStringLiteral("Завершить"), this);
    Button_FinishRestore->setObjectName(QStringLiteral("Button_FinishRestore"));
    Button_FinishRestore->setToolTip(QStringLiteral("Записать тот же снимок ещё раз"));
    Button_FinishRestore->setAccessibleName(QStringLiteral("Завершить восстановление"));
    Button_UndoRestore = new QPushButton(QStringLiteral("Вернуть как было"), this);
    Button_UndoRestore->setObjectName(QStringLiteral("Button_UndoRestore"));
    Button_UndoRestore->setToolTip(QStringLiteral("Записать снимок, снятый перед восстановлением"));
    Button_UndoRestore->setAccessibleName(QStringLiteral("Отменить восстановление"));
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(Label_Unfinished, 1);
    layout->addWidget(Button_FinishRestore);
    layout->addWidget(Button_UndoRestore);
    connect(Button_FinishRestore, &QPushButton::clicked, this, [this] { emit finishRequested(m_record); });
    connect(Button_UndoRestore, &QPushButton::clicked, this, [this] { emit undoRequested(m_record); });
    setVisible(false);
}

void TUnfinishedRestorePanel::showUnfinished(const QList<RestoreRecord> &unfinished)
{
    if (unfinished.isEmpty()) {
        m_record = {};
        setVisible(false);
        return;
    }
    m_record = unfinished.first();
    Label_Unfinished->setText(UnfinishedRestoreText(m_record));
    setVisible(true);
}
