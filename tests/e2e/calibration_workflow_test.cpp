// The whole workflow on a mis-calibrated simulated meter, through the real windows
// and the real port: verify, calibrate the flow curve with averaged values, verify again.
#include "gui/kalibr_window_fixture.h"
#include "protocol/number_text.h"
#include "support/locale_guard.h"
#include "ui/calibration/form_dialog_add_row.h"
#include "ui/common/labeled_edit.h"
#include "ui/common/tool_bar.h"
#include <QAction>
#include <QComboBox>
#include <cmath>
#include <cstdio>

namespace {

constexpr double AveragingSeconds = 5.0; // simulated

class Workflow
{
public:
    explicit Workflow(MeterRig &rig) : rig(rig), main(*rig.dm)
    {
        main.show();
        main.ToolButton_Port->click();
        main.ToolButton_Kalibr->click();
        form = main.findChild<TForm_Kalibrovka *>();
        form->Timer_1->setInterval(100);
        // The engineer works in this window: copy and paste act on its focused field.
        ShowActive(*form);
    }

    // Runs the meter's averaging at a rig flow until the window shows its final values.
    void average(double flow, QPushButton *reset, QPushButton *start, QPushButton *stop, QLineEdit *shown,
                 int averageRegister)
    {
        model().setRigFlow(flow);
        reset->click();
        start->click();
        // The clicks reach the meter through the transmit queue.
        ASSERT_TRUE(EventuallyTrue([&] { return model().lastCommand() == Proto::CmdAverageStart; }, 3000));
        ASSERT_TRUE(EventuallyTrue([&] { return model().dataFloat(46) >= AveragingSeconds; }, 5000));
        stop->click();
        ASSERT_TRUE(EventuallyTrue([&] {
            return model().dataWord(1) % 2 == 0
                   && shown->text() == FormatFloatPattern(double(model().dataFloat(averageRegister)), NumPattern::P0_hhh);
        }, 3000));
    }

    // Fifteen rows against the reference, then the errors; returns the largest |relative error| in %.
    double verify(const char *title)
    {
        TTabPoverka *tab = form->TabSheet4;
        const double flows[] = {-1000, -750, -600, -450, -250, -100, -50, 50, 100, 250, 450, 600, 750, 900, 1000};
        for (int r = 1; r <= 15; ++r) {
            average(flows[r - 1], tab->Button7, tab->Button2, tab->Button11, tab->Edit_Q_Poverka_Qm_Sred, 48);
            const QString reference = QString::number(model().referenceFlow(), 'f', 3);
            tab->ComboBox1->setCurrentIndex(r - 1);
            WhenDialogShows([&](QDialog *d) {
                auto *dialog = static_cast<TForm_dialog_add_row *>(d);
                dialog->LE_Etalon->setText(reference);
                dialog->LE_Comment->setText(QStringLiteral("%1 кг/ч").arg(flows[r - 1]));
                dialog->Button_OK->click();
            });
            tab->BT_export_to_StringGrid->click();
        }
        tab->BT_Recalc->click();
        std::printf("\n%s\n%10s %10s %10s %10s %10s\n", title, "Эталон", "Прибор", "абсолют.", "относит.", "привед.");
        double worst = 0;
        for (int r = 1; r <= 15; ++r) {
            std::printf("%10s %10s %10s %10s %10s\n", qPrintable(tab->cell(1, r)), qPrintable(tab->cell(2, r)),
                        qPrintable(tab->cell(4, r)), qPrintable(tab->cell(5, r)), qPrintable(tab->cell(6, r)));
            worst = std::max(worst, std::fabs(tab->cell(5, r).chopped(1).toDouble()));
        }
        std::printf("largest relative error: %.3f %%\n", worst);
        return worst;
    }

    // The thirteen points with averaged Δt, copied and pasted as an engineer does; saved, recalculated.
    void calibrateFlow()
    {
        TTabRashodKalibr *tab = form->TabSheet3;
        for (int n = 1; n <= 13; ++n) {
            const double flow = MeterModel::FlowPointsPercent[size_t(n - 1)] * 10.0;
            average(flow, tab->Button_Reset_Rashod_kalibr, tab->Button14, tab->Button13, tab->Edit_Q_Kalibr_Ns_usred,
                    44);
            tab->Button_Copy_Q_Rashod_Ns_sred->click();
            QLineEdit *pribor = tab->Edit_Q_Pribor[size_t(n - 1)];
            QApplication::setActiveWindow(form);
            pribor->setFocus();
            pribor->selectAll();
            form->Paste1->trigger();
            ASSERT_EQ(pribor->text(), tab->Edit_Q_Kalibr_Ns_usred->text());
            tab->Edit_Q_Etalon[size_t(n - 1)]->setText(QString::number(model().referenceFlow(), 'f', 3));
        }
        tab->Button_save_Rashod_Kf->click();
        ASSERT_TRUE(EventuallyTrue([&] { return !tab->saving(); }, 5000));
        form->ToolButton_Kf_Recalc->click();
        ASSERT_TRUE(EventuallyTrue([&] { return model().lastCommand() == Proto::CmdRecalculate; }, 3000));
    }

    MeterModel &model() { return rig.server.model(); }

    MeterRig &rig;
    TForm_Main main;
    TForm_Kalibrovka *form = nullptr;
};

} // namespace

TEST(CalibrationWorkflow, FlowCalibrationCutsTheVerifiedErrorTenfold)
{
    LocaleGuard locale(LocaleGuard::point());
    SimOptions options;
    options.physics.seed = 11;
    options.physics.fixedFlow = 0.0;
    options.timeScale = 50;
    MeterRig rig(options);
    Workflow w(rig);
    ASSERT_NE(w.form, nullptr);
    ASSERT_TRUE(rig.dm->isPortOpen());
    w.form->TabSheet4->Button1->click();
    ASSERT_TRUE(Eventually([&] { return w.form->TabSheet4->Edit_Poverka_Q_Max->text(); }, QStringLiteral("1000")));

    const double before = w.verify("before calibration");
    w.form->TabSheet4->Button12->click(); // answered OK by the rig's presenter
    w.calibrateFlow();
    const double after = w.verify("after calibration");
    EXPECT_GT(before, 2.0);
    EXPECT_GE(before, 10 * after);
    EXPECT_TRUE(rig.boxes.requests.size() == 1 && rig.boxes.requests[0].text.startsWith("Будет очищена"));
}
