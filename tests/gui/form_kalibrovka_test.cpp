// The calibration window's frame, thermometer and zero tabs against the simulated meter.
#include "gui/kalibr_window_fixture.h"
#include "ui/common/link_status_bar.h"
#include "protocol/number_text.h"
#include "support/locale_guard.h"
#include "ui/calibration/form_kalibrovka.h"
#include "ui/calibration/live_chart.h"
#include "ui/calibration/tab_flow.h"
#include "ui/calibration/tab_poverka.h"
#include "ui/calibration/tab_termo.h"
#include "ui/calibration/tab_zero.h"
#include "ui/common/tool_bar.h"
#include <QAction>
#include <QClipboard>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <gtest/gtest.h>


TEST(TSredSdvig, AveragesTheRingOfThirtyAlwaysOverThirty)
{
    TSredSdvig avg;
    EXPECT_EQ(avg.Sred(), 0.0f);
    EXPECT_EQ(avg.AddValue(10), float(10.0 / 30));
    EXPECT_EQ(avg.cnt(), 1);
    for (int i = 1; i < 30; ++i)
        avg.AddValue(10);
    EXPECT_EQ(avg.cnt(), 0);
    EXPECT_EQ(avg.Sred(), 10.0f);
    EXPECT_EQ(avg.AddValue(40), 11.0f); // overwrites the first slot
    EXPECT_EQ(avg.cnt(), 1);
}

TEST_F(KalibrWindow, FrameLaidOutAsDesigned)
{
    EXPECT_EQ(form->windowTitle(), "Калибровка");
    EXPECT_EQ(form->size(), QSize(1020, 742));
    EXPECT_EQ(form->Timer_1->interval(), 500);
    const struct
    {
        TToolButton *button;
        const char *hint;
        int image;
    } buttons[] = {{form->ToolButton_Kf_Recalc, "Пересчет коэффициентов", 5},
                   {form->ToolButton_Reset, "Перезагрузка", 6},
                   {form->ToolButton_Backup, "Резервная копия", 9},
                   {form->ToolButton_History, "История калибровки", 10},
                   {form->ToolButton_Run, "Калибровка по шагам", 12},
                   {form->ToolButton_Log, "Запись", 11},
                   {form->ToolButton_Exit, "Выход", 4}};
    for (const auto &b : buttons) {
        EXPECT_EQ(b.button->hint(), QString::fromUtf8(b.hint));
        EXPECT_EQ(b.button->imageIndex(), b.image);
    }
    // Recalculate, restart, backup, history, run, log; three 8 px separators; exit.
    EXPECT_EQ(form->ToolButton_Separator_w->width(), form->ToolBar1->width() - 6 * 70 - 3 * 8 - 70 - 2);
    EXPECT_EQ(form->ToolButton_Exit->geometry().right(), form->ToolBar1->width() - 3);

    const char *tabs[][2] = {{"TabSheet1", "Термометр"},
                             {"TabSheet5", "Калибровка 0 по частоте"},
                             {"TabSheet2", "Калибровка 0 по температуре"},
                             {"TabSheet3", "Калибровка расхода"},
                             {"TabSheet4", "Поверка"}};
    ASSERT_EQ(form->PageControl1->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(form->PageControl1->widget(i)->objectName(), tabs[i][0]);
        EXPECT_EQ(form->PageControl1->tabText(i), QString::fromUtf8(tabs[i][1]));
    }
    EXPECT_EQ(form->PageControl1->currentWidget(), static_cast<QWidget *>(form->TabSheet3));

    QStringList items;
    for (QAction *a : form->PopupMenu1->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text() + QLatin1Char(' ') + a->shortcut().toString());
    EXPECT_EQ(items, (QStringList{"Копировать Ctrl+C", "Вставить Ctrl+V", "Вырезать Ctrl+X", "-",
                                  "Заполнить зеркально расход "}));

    // Narrower than the counters panel: the status text gets nothing.
    form->StatusBar1->resize(100, form->StatusBar1->height());
    EXPECT_EQ(form->StatusBar1->panelWidth(1), CountersPanelWidth(*form->StatusBar1));
    EXPECT_EQ(form->StatusBar1->panelWidth(0), 0);

    EXPECT_EQ(termo()->Chart_Termo->seriesCount(), 1);
    EXPECT_EQ(termo()->Chart_Termo->seriesCaption(0), "ADC термометр");
    EXPECT_EQ(zero()->Chart_0_Termo->seriesCaption(0), "Температура (°C)");
    EXPECT_EQ(zero()->Chart_0_Termo->seriesCaption(1), "Δt(нс)");
    EXPECT_TRUE(zero()->Chart_0_Termo->onRightAxis(1));
    EXPECT_EQ(freq()->Chart1->seriesCount(), 0);
}

TEST_F(KalibrWindow, TickSendsTheLiveBlocksItsFlagsAskForInOrder)
{
    const struct
    {
        bool adc, zero, flowKalibr, flowPoverka;
        QList<QByteArray> frames;
    } cases[] = {
        {false, false, false, false, {}},
        {true, true, true, true, {data(28, 2), data(10, 22), data(2, 14), data(44, 6)}},
        {false, false, true, true, {data(2, 14), data(44, 6)}},
        {false, true, false, true, {data(10, 22), data(2, 14), data(44, 6)}},
        {true, false, false, false, {data(28, 2)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.adc << c.zero << c.flowKalibr << c.flowPoverka);
        form->Opros_Termo_ADC_enable = c.adc;
        form->Opros_Termo_0_enable = c.zero;
        form->Opros_Rashod_Kalibr_enable = c.flowKalibr;
        form->Opros_Rashod_Poverka_enable = c.flowPoverka;
        const int tx0 = tx();
        EXPECT_EQ(sent([&] { form->Timer_1Timer(); }), c.frames);
        EXPECT_EQ(tx() - tx0, c.frames.size());
    }
}

TEST_F(KalibrWindow, ClosedPortIsLookedForOnEveryTickWithoutSending)
{
    rig.dm->closePort();
    rig.dm->USBWork().FStatusString.clear();
    form->Opros_Termo_ADC_enable = form->Opros_Termo_0_enable = form->Opros_Rashod_Kalibr_enable = true;
    EXPECT_TRUE(sent([&] { form->Timer_1Timer(); }).isEmpty());
    EXPECT_TRUE(rig.dm->isPortOpen());
    EXPECT_FALSE(rig.dm->USBWork().FBtnConnectOn);
    EXPECT_EQ(form->StatusBar1->panelText(0), rig.openedText());
}

// The command itself is an uncounted write; the recalculation then re-reads the coefficients.
TEST_F(KalibrWindow, ToolBarCommandsAreUncountedWritesAndRecalculationRereadsCoefficients)
{
    const struct
    {
        TToolButton *button;
        quint16 command;
        QList<QByteArray> reads;
    } cases[] = {{form->ToolButton_Kf_Recalc, 24, {data(16, 4), data(32, 4), data(36, 8)}},
                 {form->ToolButton_Reset, 11, {}}};
    for (const auto &c : cases) {
        const int tx0 = tx();
        EXPECT_EQ(sent([&] { c.button->click(); }), QList<QByteArray>{Proto::writeWordFrame(1, c.command)} + c.reads);
        EXPECT_EQ(tx() - tx0, c.reads.size());
    }
}

// The thermometer tab, the zero tab and the frequency tab (which acts on the zero tab).
TEST_F(KalibrWindow, TwoPointSaveWritesOneFrameThenReadsBackAndReadRefills)
{
    const struct
    {
        const char *name;
        QPushButton *read, *save;
        QList<QLineEdit *> points; // in the order they are written
        QLineEdit *a;
        quint16 pointsAddr, coeffAddr;
        std::array<float, 4> typed;
    } cases[] = {
        {"thermometer", termo()->Button_read_Kf_termo, termo()->Button_save_Kf_termo,
         {termo()->Edit_T_20, termo()->Edit_T_ADC_20, termo()->Edit_T_60, termo()->Edit_T_ADC_60}, termo()->Edit_T_A,
         5, 16, {20.1f, 1234, 60.3f, 5678}},
        {"zero", zero()->Button_read_0_Kf_termo, zero()->Button_save_0_Kf_termo,
         {zero()->Edit_0_T_20, zero()->Edit_0_T_ns_20, zero()->Edit_0_T_60, zero()->Edit_0_T_ns_60},
         zero()->Edit_0_T_A, 13, 32, {21.5f, 3.25f, 59.5f, 4.75f}},
        {"frequency tab", freq()->Button15, freq()->Button16,
         {zero()->Edit_0_T_20, zero()->Edit_0_T_ns_20, zero()->Edit_0_T_60, zero()->Edit_0_T_ns_60},
         zero()->Edit_0_T_A, 13, 32, {22.5f, 3.5f, 58.5f, 5.5f}},
    };
    LocaleGuard locale(LocaleGuard::comma());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QList<QByteArray> reads{params(c.pointsAddr, 8), data(c.coeffAddr, 4)};
        int tx0 = tx();
        EXPECT_EQ(sent([&] { c.read->click(); }), reads);
        EXPECT_EQ(tx() - tx0, 2);
        EXPECT_TRUE(EventuallyTrue([&] { return !c.a->text().isEmpty() && !c.points[3]->text().isEmpty(); }));

        // Typed with a point or a comma: both keys work.
        for (int i = 0; i < 4; ++i)
            c.points[i]->setText(QString::number(double(c.typed[size_t(i)])).replace(
                QLatin1Char('.'), i % 2 ? QLatin1Char(',') : QLatin1Char('.')));
        tx0 = tx();
        EXPECT_EQ(sent([&] { c.save->click(); }), QList<QByteArray>{write4(c.pointsAddr, c.typed)} + reads);
        EXPECT_EQ(tx() - tx0, 2);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(rig.server.model().paramFloat(c.pointsAddr + 2 * i), c.typed[size_t(i)]);
        EXPECT_TRUE(Eventually([&] { return c.points[0]->text(); },
                               FormatFloatPattern(double(c.typed[0]), NumPattern::P0_00)));

        // A box that does not convert: the message, nothing sent, the boxes kept.
        c.points[2]->setText("6,0,1");
        EXPECT_TRUE(sent([&] { c.save->click(); }).isEmpty());
        ASSERT_FALSE(rig.boxes.requests.isEmpty());
        EXPECT_EQ(rig.boxes.requests.takeLast().text, "'6,0,1' is not a valid floating point value");
        EXPECT_FALSE(c.points[0]->text().isEmpty());
    }
    EXPECT_TRUE(rig.boxes.requests.isEmpty());
}

TEST_F(KalibrWindow, RepliesWithCoefficientsOrPointsTouchOnlyTheirBoxes)
{
    // The tabs' own reads are out (the meter keeps quiet), so the replies below are theirs.
    rig.server.options().silent = true;
    sent([&] {
        termo()->Button_read_Kf_termo->click();
        zero()->Button_read_0_Kf_termo->click();
    });
    TQ_kalibr_Termo points;
    points.Temp_20 = "20,00";
    points.Temp_60 = "60,00";
    points.ADC_20 = "3000,00";
    points.ADC_60 = "4000,00";
    termo()->Edit_T_A->setText("a");
    termo()->ShowKalibrTermo(rig.dm.get(), points);
    EXPECT_EQ(termo()->Edit_T_60->text(), "60,00");
    EXPECT_EQ(termo()->Edit_T_ADC_20->text(), "3000,00");
    EXPECT_EQ(termo()->Edit_T_A->text(), "a");
    TQ_kalibr_Termo coefficients;
    coefficients.Kf = true;
    coefficients.A = "-100";
    coefficients.B = "0,04";
    termo()->ShowKalibrTermo(rig.dm.get(), coefficients);
    EXPECT_EQ(termo()->Edit_T_B->text(), "0,04");
    EXPECT_EQ(termo()->Edit_T_20->text(), "20,00");

    TQ_kalibr_0_Termo zeroPoints;
    zeroPoints.t_60 = "4,99";
    zero()->ShowKalibr0Termo(rig.dm.get(), zeroPoints);
    EXPECT_EQ(zero()->Edit_0_T_ns_60->text(), "4,99");
}

TEST_F(KalibrWindow, FirstLiveRepliesStartTheAveragesFromZero)
{
    LocaleGuard locale(LocaleGuard::comma());
    TQ_kalibr_Termo_ADC adc;
    adc.ADC_str = "3000,00";
    adc.ADC_float = 3000;
    termo()->ShowKalibrTermoADC(rig.dm.get(), adc);
    EXPECT_EQ(termo()->Edit_Termo_ADC->text(), "3000,00");
    EXPECT_EQ(termo()->Edit_Termo_ADC_Sred->text(), "100,00");
    EXPECT_EQ(termo()->Chart_Termo->pointCount(0), 1);

    TQ_kalibr_Termo_ns ns;
    ns.T_str = "21,50";
    ns.T_float = 21.5f;
    ns.ns_str = "12,25";
    ns.ns_float = 12.25f;
    zero()->ShowKalibr0TermoNs(rig.dm.get(), ns);
    EXPECT_EQ(zero()->Edit_0_Termo_temp->text(), "21,50");
    EXPECT_EQ(zero()->Edit_0_Termo_ns->text(), "12,25");
    EXPECT_EQ(zero()->Edit_0_Termo_temp_sred->text(), "0,72");
    EXPECT_EQ(zero()->Edit_0_Termo_ns_Sred->text(), "0,41");
    EXPECT_EQ(zero()->Chart_0_Termo->pointCount(0), 1);
    EXPECT_EQ(zero()->Chart_0_Termo->pointCount(1), 1);
    // The frequency tab never shows anything.
    EXPECT_EQ(freq()->Edit11->text(), QString());
}

TEST_F(KalibrWindow, PollingFillsBoxesAndChartsAndResetClearsOnlyTheCharts)
{
    form->Timer_1->setInterval(100);
    form->Timer_1->start();
    freq()->Button19->click(); // the frequency tab's "Старт" switches the zero poll on
    termo()->Button_Start_opros_ADC_Termo->click();
    EXPECT_TRUE(form->Opros_Termo_0_enable);
    ASSERT_TRUE(EventuallyTrue([&] { return zero()->Chart_0_Termo->pointCount(1) >= 3; }, 3000));
    ASSERT_TRUE(EventuallyTrue([&] { return termo()->Chart_Termo->pointCount(0) >= 3; }, 3000));
    EXPECT_FALSE(zero()->Edit_0_Termo_ns->text().isEmpty());
    EXPECT_FALSE(termo()->Edit_Termo_ADC_Sred->text().isEmpty());

    freq()->Button23->click(); // the frequency tab's "Сброс" clears the temperature tab's chart
    EXPECT_EQ(zero()->Chart_0_Termo->pointCount(0), 0);
    EXPECT_EQ(zero()->Chart_0_Termo->pointCount(1), 0);
    const float average = form->Sred0Ns.Sred();
    zero()->Button_Stop_opros_0_Termo->click();
    termo()->Button_Stop_opros_ADC_Termo->click();
    EXPECT_FALSE(form->Opros_Termo_0_enable);
    QTest::qWait(300);
    const int points = zero()->Chart_0_Termo->pointCount(0);
    EXPECT_LE(points, 2);
    EXPECT_EQ(form->Sred0Ns.Sred() == average, points == 0);
    EXPECT_EQ(freq()->Chart1->seriesCount(), 0);
}

TEST_F(KalibrWindow, CopyButtonsCopyTheirBoxExactlyAsShown)
{
    const struct
    {
        QToolButton *button;
        QLineEdit *box;
    } cases[] = {
        {termo()->Button_Copy_ADC, termo()->Edit_Termo_ADC},
        {termo()->Button_Copy_ADC_sred, termo()->Edit_Termo_ADC_Sred},
        {zero()->Button_Copy_NS_0, zero()->Edit_0_Termo_ns},
        {zero()->Button_Copy_NS_0_sred, zero()->Edit_0_Termo_ns_Sred},
        {zero()->Button_Copy_T_0, zero()->Edit_0_Termo_temp},
        {zero()->Button_Copy_T_0_sred, zero()->Edit_0_Termo_temp_sred},
        {freq()->Button24, zero()->Edit_0_Termo_temp},
        {freq()->Button17, zero()->Edit_0_Termo_ns},
        {freq()->Button18, zero()->Edit_0_Termo_ns_Sred},
        {freq()->Button21, zero()->Edit_0_Termo_temp},
        {freq()->Button22, zero()->Edit_0_Termo_temp_sred},
    };
    int n = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.button->objectName().toStdString());
        EXPECT_EQ(c.button->toolTip(), "Скопировать в буфер");
        for (const QString &text : {QStringLiteral("%1,25").arg(++n), QString()}) {
            c.box->setText(text);
            QGuiApplication::clipboard()->setText(QStringLiteral("old"));
            c.button->click();
            EXPECT_EQ(QGuiApplication::clipboard()->text(), text);
        }
    }
}

TEST(KalibrWindowLife, ReopenedWindowStartsCleanAndAClosedOneHearsNothing)
{
    MeterRig rig;
    ASSERT_TRUE(rig.connect());
    TForm_Main main(*rig.dm);
    for (int round = 0; round < 2; ++round) {
        main.ToolButton_Kalibr->click();
        main.ToolButton_Kalibr->click();
        ASSERT_EQ(main.findChildren<TForm_Kalibrovka *>().size(), 1);
        QPointer<TForm_Kalibrovka> form = main.findChild<TForm_Kalibrovka *>();
        EXPECT_FALSE(form->Opros_Termo_ADC_enable || form->Opros_Termo_0_enable || form->Opros_Rashod_Kalibr_enable
                     || form->Opros_Rashod_Poverka_enable);
        EXPECT_EQ(form->SredTermoADC.Sred(), 0.0f);
        EXPECT_EQ(form->TabSheet1->Chart_Termo->pointCount(0), 0);
        EXPECT_EQ(form->TabSheet1->Edit_Termo_ADC->text(), QString());

        form->TabSheet1->Button_Start_opros_ADC_Termo->click();
        form->Timer_1->setInterval(100);
        ASSERT_TRUE(EventuallyTrue([&] { return form->TabSheet1->Chart_Termo->pointCount(0) >= 2; }, 3000));
        form->ToolButton_Exit->click();
        ASSERT_TRUE(EventuallyTrue([&] { return form.isNull(); }));
        EXPECT_FALSE(rig.dm->OnKalibrTermoADCChange);
        EXPECT_FALSE(rig.dm->OnKalibr0TermoNsChange);
    }
}

// Done when: calibrate, recalculate, read back what the meter computed from the points.
TEST_F(KalibrWindow, RecalculatedCoefficientsComeFromTheSavedPoints)
{
    termo()->Edit_T_20->setText("20.1");
    termo()->Edit_T_ADC_20->setText("3010");
    termo()->Edit_T_60->setText("60.3");
    termo()->Edit_T_ADC_60->setText("4000");
    sent([&] {
        termo()->Button_save_Kf_termo->click();
        form->ToolButton_Kf_Recalc->click();
        termo()->Button_read_Kf_termo->click();
    });
    MeterModel &meter = rig.server.model();
    const double b = (60.3 - 20.1) / (4000 - 3010);
    EXPECT_NEAR(meter.dataFloat(18), b, 1e-6);
    EXPECT_NEAR(meter.dataFloat(16), 20.1 - b * 3010, 1e-3);
    EXPECT_EQ(termo()->Edit_T_A->text(), FormatGeneral(double(meter.dataFloat(16))));
    EXPECT_EQ(termo()->Edit_T_B->text(), FormatGeneral(double(meter.dataFloat(18))));
}
