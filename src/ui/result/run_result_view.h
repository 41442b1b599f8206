#pragma once
// A finished calibration run at a glance: the as-found and as-left tables side by
// side, relative error against flow for both with the tolerance band, the
// coefficients before and after, the verdict, and what can be done with it.
#include "records/run_record.h"
#include <QWidget>

class QBoxLayout;
class QCustomPlot;
class QLabel;
class QPushButton;
class QScrollArea;
class QTableWidget;
class TRunAdjustmentBox;
class TRunMetrologyBox;

class TRunResultView : public QWidget
{
    Q_OBJECT
public:
    explicit TRunResultView(QWidget *parent = nullptr);

    // canRestore: the run wrote the meter and its before-run snapshot may be put back
    // ("Вернуть прежнюю калибровку" shown); false for a record opened from the history.
    void showRun(const RunRecord &run, bool canRestore);
    const RunRecord &run() const;

    // "Протокол (PDF)…": asks where, writes the certificate and opens it.
    void Button_CertificateClick();
    // What the button does once the file is chosen; false, with the error box, on failure.
    bool saveCertificate(const QString &path);
    // "Экспорт DCC (XML)…": asks where and writes the run's DCC there.
    void Button_ExportDccClick();
    // What it does once the file is chosen; false, with the error box, on failure.
    bool saveDcc(const QString &path);

    QLabel *Label_Title;
    QLabel *Label_End;          // how the run ended, and why when it did not complete
    QLabel *Label_Rule;         // the decision rule the verdicts follow; hidden for an older record
    QTableWidget *Grid_AsFound;
    QTableWidget *Grid_AsLeft;
    QLabel *Label_AsFoundVerdict;
    QLabel *Label_AsLeftVerdict;
    QLabel *Label_Coverage;     // what "± U" means: k and p, once for both tables
    QLabel *Label_Undetermined; // why each undetermined point is
    TRunMetrologyBox *Group_Metrology; // the largest budget, the reference, the zero at no flow
    QCustomPlot *Chart_Errors;
    QTableWidget *Grid_Coefficients; // A–D down, before and after across
    TRunAdjustmentBox *Group_Adjustments; // the thermometer and the zero, where the run had them
    QPushButton *Button_Certificate;
    QPushButton *Button_ExportDcc;
    QPushButton *Button_OpenRecord;
    QPushButton *Button_Restore;
    QScrollArea *Scroll_Result; // all but the buttons, which stay in sight

Q_SIGNALS:
    // "Открыть запись": the owner shows the record in the history window.
    void openRecordRequested(qint64 runId);
    // "Вернуть прежнюю калибровку": the owner restores snapshotBeforeId through the
    // restore engine, with its dialog.
    void restoreRequested(qint64 snapshotId);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fitWidth();

    RunRecord m_run;
    QBoxLayout *m_tables; // side by side; one above the other when the metrology widens them
};
