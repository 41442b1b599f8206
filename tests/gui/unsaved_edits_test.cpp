// What the engineer typed and has not saved stays in the tabs while the program
// reads the meter for itself (backup, comparison, recalculation); only a tab's own
// "Прочитать" puts the meter's values back.
#include "gui/kalibr_records_fixture.h"
#include "protocol/number_text.h"
#include "records/calibration_records.h"
#include "ui/common/tool_bar.h"
#include "ui/records/form_history.h"
#include <QAbstractButton>
#include <QInputDialog>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace {

class UnsavedEdits : public KalibrWindowWithRecords
{
protected:
    QList<QByteArray> sent(const std::function<void()> &action) { return SentDuring(rig, action); }

    // "Резервная копия" from the tool bar, its note answered; the snapshot's id.
    qint64 backup()
    {
        WhenDialogShows([](QDialog *d) {
            if (auto *note = qobject_cast<QInputDialog *>(d))
                note->setTextValue("перед поверкой");
            d->accept();
        });
        const qsizetype before = records->store().list().size();
        form->ToolButton_Backup->click();
        if (!EventuallyTrue([&] { return records->store().list().size() == before + 1; }, 15000))
            return 0;
        return records->store().list().first().id;
    }
    // "Сравнить с прибором" in the history window for this snapshot, until the tree shows it.
    bool compare(qint64 id)
    {
        form->ToolButton_History->click();
        auto *history = form->findChild<TForm_History *>();
        if (!history)
            return false;
        history->refresh();
        history->Tree_Compare->clear();
        history->selectSnapshot(id);
        history->Button_CompareMeter->click();
        return EventuallyTrue([&] { return history->Tree_Compare->topLevelItemCount() > 0; }, 15000);
    }
    // Waits until the wire is quiet and every answer has come.
    void settle()
    {
        (void)QTest::qWaitFor([&] { return rig.dm->pacer().waiting() == 0; }, 10000);
        QTest::qWait(200);
    }

};

} // namespace

TEST_F(UnsavedEdits, BackupAndCompareKeepTypedTextAndTheTabsOwnReadRefills)
{
    TTabTermo *termo = form->TabSheet1;
    TTabZeroTermo *zero = form->TabSheet2;
    TTabRashodKalibr *flow = form->TabSheet3;
    TTabPoverka *poverka = form->TabSheet4;
    const struct
    {
        const char *what;
        QLineEdit *box;
        QAbstractButton *read;
        QString typed;
    } cases[] = {
        {"термометр, код АЦП ~20 °C", termo->Edit_T_ADC_20, termo->Button_read_Kf_termo, "31337"},
        {"термометр, ~60 °C", termo->Edit_T_60, termo->Button_read_Kf_termo, "61.5"},
        {"ноль, Δt ~60 °C", zero->Edit_0_T_ns_60, zero->Button_read_0_Kf_termo, "-9.5"},
        {"ноль, прочитанный с вкладки частоты", zero->Edit_0_T_20, form->TabSheet5->Button15, "25"},
        {"расход, Δt точки 1", flow->Edit_Q_Pribor[0], flow->Button_read_Rashod_Kf, "-777"},
        {"расход, проливная точки 13", flow->Edit_Q_Etalon[12], flow->Button_read_Rashod_Kf, "1111"},
        {"расход, Q Max", flow->Edit_Q_Max, flow->Button_read_Rashod_Kf, "1500"},
        {"поверка, Q Max", poverka->Edit_Poverka_Q_Max, poverka->Button1, "900"},
    };

    // The meter's values first, as the engineer starts, then his own over them.
    QStringList meterTexts;
    for (const auto &c : cases) {
        c.read->click();
        settle();
        meterTexts << c.box->text();
        ASSERT_FALSE(meterTexts.last().isEmpty()) << c.what;
        ASSERT_NE(meterTexts.last(), c.typed) << c.what;
    }
    for (const auto &c : cases)
        TypeInto(c.box, c.typed);

    const qint64 id = backup();
    ASSERT_NE(id, 0);
    settle();
    for (const auto &c : cases)
        EXPECT_EQ(c.box->text(), c.typed) << "after the backup: " << c.what;

    ASSERT_TRUE(compare(id));
    settle();
    for (const auto &c : cases)
        EXPECT_EQ(c.box->text(), c.typed) << "after the comparison: " << c.what;

    for (size_t i = 0; i < std::size(cases); ++i) {
        cases[i].read->click();
        EXPECT_TRUE(Eventually([&] { return cases[i].box->text(); }, meterTexts[qsizetype(i)], 10000)) << cases[i].what;
    }
}

TEST_F(UnsavedEdits, RecalculationRereadsEveryTabsCoefficientsAndKeepsTypedPoints)
{
    TTabTermo *termo = form->TabSheet1;
    TTabZeroTermo *zero = form->TabSheet2;
    TTabRashodKalibr *flow = form->TabSheet3;
    MeterModel &meter = rig.server.model();
    const struct
    {
        const char *what;
        QAbstractButton *read;
        QLineEdit *point;
        QList<QLineEdit *> coefficients;
        QList<int> coefficientRegisters; // data registers of the floats
    } cases[] = {
        {"термометр", termo->Button_read_Kf_termo, termo->Edit_T_ADC_60, {termo->Edit_T_A, termo->Edit_T_B}, {16, 18}},
        {"ноль", zero->Button_read_0_Kf_termo, zero->Edit_0_T_ns_20, {zero->Edit_0_T_A, zero->Edit_0_T_B}, {32, 34}},
        {"расход", flow->Button_read_Rashod_Kf, flow->Edit_Q_Pribor[6],
         {flow->Edit_Rashod_A, flow->Edit_Rashod_B, flow->Edit_Rashod_C, flow->Edit_Rashod_D}, {36, 38, 40, 42}},
    };
    for (const auto &c : cases)
        c.read->click();
    settle();
    // Points the meter holds that its present coefficients do not come from.
    meter.setParamFloat(7, 3100);  // thermometer, ADC code at ~20 °C
    meter.setParamFloat(15, 2.5f); // zero, Δt at ~20 °C
    meter.setParamFloat(47, 0.5f); // flow, Δt of point 1
    QStringList before;
    for (const auto &c : cases) {
        before << c.coefficients.first()->text();
        TypeInto(c.point, "123.25");
    }

    const QList<QByteArray> frames = sent([&] { form->ToolButton_Kf_Recalc->click(); });
    EXPECT_EQ(frames, (QList<QByteArray>{Proto::writeWordFrame(1, Proto::CmdRecalculate), data(16, 4), data(32, 4), data(36, 8)}));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto &c = cases[i];
        for (qsizetype k = 0; k < c.coefficients.size(); ++k)
            EXPECT_TRUE(Eventually([&] { return c.coefficients[k]->text(); },
                                   FormatGeneral(double(meter.dataFloat(c.coefficientRegisters[k]))), 10000))
                << c.what << " " << k;
        EXPECT_NE(c.coefficients.first()->text(), before[qsizetype(i)]) << c.what << ": the meter computed anew";
        EXPECT_EQ(c.point->text(), "123.25") << c.what;
    }
    EXPECT_TRUE(EventuallyTrue([&] {
        form->Timer_1Timer();
        return form->StatusBar1->panelText(0).contains("Прибор пересчитал коэффициенты");
    }, 10000)) << form->StatusBar1->panelText(0).toStdString();
}

// An answer to a read the engineer typed over, or to someone else's read, is not his.
TEST_F(UnsavedEdits, OnlyAnswersToTheTabsOwnOutstandingReadFillIt)
{
    TTabTermo *termo = form->TabSheet1;
    termo->Button_read_Kf_termo->click();
    settle();
    const QString meterText = termo->Edit_T_ADC_20->text();

    // Typed while its own read is still out: the answer leaves the typed box alone.
    rig.server.options().silent = true;
    termo->Button_read_Kf_termo->click();
    settle();
    TypeInto(termo->Edit_T_ADC_20, "4242");
    rig.server.options().silent = false;
    SendReadParams(*rig.dm, 5, 8); // the same read, someone else's
    settle();
    EXPECT_EQ(termo->Edit_T_ADC_20->text(), "4242");

    // After reads the meter never answered, the tab's own read still refills.
    rig.server.options().silent = true;
    termo->Button_read_Kf_termo->click();
    settle();
    EXPECT_EQ(termo->Edit_T_ADC_20->text(), "");
    rig.server.options().silent = false;
    termo->Button_read_Kf_termo->click();
    EXPECT_TRUE(Eventually([&] { return termo->Edit_T_ADC_20->text(); }, meterText, 10000));
}
