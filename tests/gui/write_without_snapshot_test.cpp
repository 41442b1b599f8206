// Every window write that keeps a snapshot first, with a store that cannot keep
// one: one question, "Нет" by default; "Нет" sends nothing, "Да" writes.
#include "gui/kalibr_window_fixture.h"
#include "protocol/flow_table.h"
#include "records/calibration_records.h"
#include "ui/common/labeled_edit.h"
#include "ui/common/tool_bar.h"
#include "ui/settings/form_settings.h"
#include <QCheckBox>
#include <QTemporaryDir>

namespace {

struct WritePath
{
    const char *name;
    bool settingsWindow; // else the calibration window
    std::function<void(QWidget *)> act;
    quint16 writeAddr; // the write that carries the engineer's values
};

quint16 AddrOf(const QByteArray &frame)
{
    return quint16(quint8(frame[2]) << 8 | quint8(frame[3]));
}

class WriteWithoutSnapshot : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(rig.started);
        ASSERT_TRUE(rig.connect());
        // A folder where the database should be: the store cannot be opened.
        ASSERT_TRUE(QDir(dir.path()).mkpath("taken.sqlite"));
        records = std::make_unique<TCalibrationRecords>(*rig.dm,
                                                        std::make_unique<TRecordStore>(dir.filePath("taken.sqlite")));
    }
    void TearDown() override { delete window.data(); }

    void open(bool settings)
    {
        if (settings) {
            auto *form = new TForm_Settings(*rig.dm, nullptr, records.get());
            form->Timer1->setInterval(200);
            window = form;
            ASSERT_TRUE(ShowActive(*form));
            ASSERT_TRUE(EventuallyTrue([&] { return !form->LE_Plotnost->edit()->text().isEmpty(); }, 10000));
        } else {
            auto *form = new TForm_Kalibrovka(*rig.dm, nullptr, records.get());
            form->Timer_1->stop();
            window = form;
            form->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        }
    }
    QList<quint16> writesTo() const
    {
        QList<quint16> addrs;
        for (const QByteArray &f : rig.frames())
            if (quint8(f[1]) == Proto::FnWriteParams)
                addrs << AddrOf(f);
        return addrs;
    }

    QTemporaryDir dir;
    MeterRig rig;
    std::unique_ptr<TCalibrationRecords> records;
    QPointer<QWidget> window;
};

void TypeFourInto(const QList<QLineEdit *> &boxes)
{
    for (int i = 0; i < boxes.size(); ++i)
        boxes[i]->setText(QString::number(20 + 10 * i));
}

const WritePath Paths[] = {
    {"density", true,
     [](QWidget *w) {
         auto *form = static_cast<TForm_Settings *>(w);
         TypeInto(form->LE_Plotnost->edit(), QStringLiteral("997.5"));
         QTest::keyClick(form->LE_Plotnost->edit(), Qt::Key_Return); // written with the next answer
     },
     2},
    {"density flag", true, [](QWidget *w) { static_cast<TForm_Settings *>(w)->CB_plotnost->click(); }, 4},
    {"thermometer", false,
     [](QWidget *w) {
         TTabTermo *t = static_cast<TForm_Kalibrovka *>(w)->TabSheet1;
         TypeFourInto({t->Edit_T_20, t->Edit_T_ADC_20, t->Edit_T_60, t->Edit_T_ADC_60});
         t->Button_save_Kf_termo->click();
     },
     5},
    {"zero", false,
     [](QWidget *w) {
         TTabZeroTermo *z = static_cast<TForm_Kalibrovka *>(w)->TabSheet2;
         TypeFourInto({z->Edit_0_T_20, z->Edit_0_T_ns_20, z->Edit_0_T_60, z->Edit_0_T_ns_60});
         z->Button_save_0_Kf_termo->click();
     },
     13},
    {"flow save", false,
     [](QWidget *w) {
         TTabRashodKalibr *f = static_cast<TForm_Kalibrovka *>(w)->TabSheet3;
         // A whole table: one with empty boxes is refused before any snapshot.
         f->Edit_Q_Max->setText(QStringLiteral("1000"));
         for (int i = 0; i < 13; ++i) {
             f->Edit_Q_Etalon[i]->setText(QString::number(i * 150 - 900));
             f->Edit_Q_Pribor[i]->setText(QString::number(i * 20 - 120));
         }
         f->Button_save_Rashod_Kf->click();
     },
     FlowTable::SaveWrites().front().addr},
    {"command 24", false, [](QWidget *w) { static_cast<TForm_Kalibrovka *>(w)->ToolButton_Kf_Recalc->click(); },
     Proto::CommandRegister},
};

} // namespace

TEST_F(WriteWithoutSnapshot, EachWritePathAsksOnceAndWritesOnlyOnYes)
{
    for (const WritePath &path : Paths) {
        for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
            SCOPED_TRACE(std::string(path.name) + (answer == QMessageBox::Yes ? " / Да" : " / Нет"));
            // The previous round's writes are all out before this one is watched.
            ASSERT_TRUE(EventuallyTrue([&] { return rig.dm->pacer().waiting() == 0; }, 10000));
            QTest::qWait(100);
            open(path.settingsWindow);
            rig.boxes.requests.clear();
            rig.boxes.setAnswer(answer);
            rig.server.clearReceived();
            path.act(window);
            ASSERT_TRUE(EventuallyTrue([&] { return !rig.boxes.requests.isEmpty(); }, 10000)) << "no question";
            const MessageBoxRequest &box = rig.boxes.requests.first();
            EXPECT_TRUE(box.text.startsWith("Снимок перед записью не сохранён: ")) << box.text.toStdString();
            EXPECT_TRUE(box.text.endsWith(". Записать без снимка?")) << box.text.toStdString();
            EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
            EXPECT_EQ(box.defaultButton, QMessageBox::No);
            if (answer == QMessageBox::Yes) {
                EXPECT_TRUE(EventuallyTrue([&] { return writesTo().contains(path.writeAddr); }, 10000)) << "not written";
            } else {
                // Several answers later (the settings window keeps polling) still nothing.
                QTest::qWait(700);
                EXPECT_EQ(writesTo(), QList<quint16>{}) << "written after Нет";
            }
            EXPECT_EQ(rig.boxes.requests.size(), 1) << "asked more than once";
            delete window.data();
        }
    }
}
