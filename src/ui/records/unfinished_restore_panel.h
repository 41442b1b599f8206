#pragma once
// A strip over the history that names a restore cut short (the meter may be half
// written) and offers both ways out: write the same snapshot again, or go back
// to what the meter held before it.
#include "records/restore_journal.h"
#include <QFrame>

class QLabel;
class QPushButton;

class TUnfinishedRestorePanel : public QFrame
{
    Q_OBJECT
public:
    explicit TUnfinishedRestorePanel(QWidget *parent = nullptr);

    // Shows the newest of these, or hides when there is none.
    void showUnfinished(const QList<RestoreRecord> &unfinished);
    const RestoreRecord &record() const { return m_record; }

    QLabel *Label_Unfinished;
    QPushButton *Button_FinishRestore;
    QPushButton *Button_UndoRestore;

Q_SIGNALS:
    void finishRequested(const RestoreRecord &record);
    void undoRequested(const RestoreRecord &record);

private:
    RestoreRecord m_record;
};
