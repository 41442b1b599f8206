// The main window without a meter: layout, start state, counters menu, status bar.
#include "gui/gui_support.h"
#include "ui/common/link_status_bar.h"
#include "records/live_log.h"
#include "ui/common/labeled_edit.h"
#include "ui/common/panel_status_bar.h"
#include "ui/common/tool_bar.h"
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

TEST(FormMain, WindowAndToolButtonsMatchTheDesign)
{
    MainWindowRig rig;
    EXPECT_EQ(rig.form.objectName(), "Form_Main");
    EXPECT_EQ(rig.form.windowTitle(), "KestroLink");
    // Six buttons of 70 px: the designed 400 px would cut the last one.
    EXPECT_EQ(rig.form.size(), QSize(420, 396));
    for (const TToolButton *button : rig.form.ToolBar1->findChildren<TToolButton *>())
        EXPECT_LE(button->geometry().right(), rig.form.ToolBar1->width() - 1) << button->objectName().toStdString();
    EXPECT_TRUE(rig.form.Timer1->isActive());
    EXPECT_EQ(rig.form.Timer1->interval(), 333);
    EXPECT_EQ(rig.form.ToolBar1->height(), 49);
    EXPECT_EQ(rig.form.StatusBar1->height(), 19);
    EXPECT_EQ(rig.form.StatusBar1->geometry().bottom(), rig.form.height() - 1);

    struct Button
    {
        const char *name;
        const char *caption;
        const char *hint;
        int imageIndex;
    };
    const Button buttons[] = {
        {"ToolButton_Port", "Подключить", "Подключить", 0},
        {"ToolButton_Settings", "Настройка", "Настройка работы", 2},
        {"ToolButton_Kalibr", "", "Калибровка", 3},
        {"ToolButton_Run", "", "Калибровка по шагам", 12},
        {"ToolButton_Exit", "", "Выход", 4},
        {"ToolButtonAbout", "", "", 7},
    };
    int left = 0;
    for (const Button &b : buttons) {
        SCOPED_TRACE(b.name);
        auto *button = rig.form.ToolBar1->findChild<TToolButton *>(QString::fromUtf8(b.name));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->caption(), QString::fromUtf8(b.caption));
        EXPECT_EQ(button->hint(), QString::fromUtf8(b.hint));
        EXPECT_EQ(button->imageIndex(), b.imageIndex);
        EXPECT_FALSE(button->icon().isNull());
        // Left to right, each 70 x 49, in the order of the design.
        EXPECT_EQ(button->geometry(), QRect(left, 0, 70, 49));
        left += 70;
    }
}

TEST(FormMain, LabelledEditsSitWhereTheDesignPutsThem)
{
    MainWindowRig rig;
    struct Place
    {
        const char *name;
        const char *caption;
        int left, top, width;
    };
    const Place places[] = {
        {"LE_Status", "Статус", 16, 86, 145},
        {"LE_Rashod_M", "Массовый расход", 16, 147, 145},
        {"LE_Rashod_O", "Объемный расход", 16, 211, 145},
        {"LE_Plotnost", "Плотность", 16, 273, 145},
        {"LE_TempTube", "Температура", 16, 334, 145},
        {"LE_TempMCU", "Температура MCU (°C)", 234, 86, 143},
        {"LE_FRQ", "Частота (Гц)", 234, 147, 143},
        {"LE_TimePostCer0", "Δt (нс)", 234, 203, 143},
        {"LE_ARU", "АРУ (%)", 234, 273, 143},
    };
    const QRect statusBar = rig.form.StatusBar1->geometry();
    for (const Place &p : places) {
        SCOPED_TRACE(p.name);
        auto *edit = rig.form.findChild<TLabeledEdit *>(QString::fromUtf8(p.name));
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->caption(), QString::fromUtf8(p.caption));
        EXPECT_EQ(edit->editGeometry(), QRect(p.left, p.top, p.width, 31));
        EXPECT_TRUE(edit->edit()->isReadOnly());
        EXPECT_TRUE(edit->edit()->font().bold());
        EXPECT_EQ(edit->edit()->font().pointSize(), 14);
        EXPECT_EQ(edit->label()->font().pointSize(), 10);
        // The caption sits wholly above its box and below the tool bar.
        const QRect caption = edit->label()->geometry().translated(edit->pos());
        EXPECT_LT(caption.bottom(), p.top);
        EXPECT_GT(caption.top(), rig.form.ToolBar1->geometry().bottom());
        EXPECT_FALSE(edit->editGeometry().intersects(statusBar));
        EXPECT_TRUE(edit->text().isEmpty());
    }
}

TEST(FormMain, StartsDisconnectedWithZeroCountersAndEmptyStatus)
{
    MainWindowRig rig;
    EXPECT_TRUE(Eventually([&] { return rig.panel(1); }, ZeroCounters, 2000));
    EXPECT_EQ(rig.panel(0), QString());
    EXPECT_FALSE(rig.dm.USBWork().FBtnConnectOn);
    EXPECT_FALSE(rig.dm.isPortOpen());
    EXPECT_EQ(rig.form.ToolButton_Port->imageIndex(), 0);
    // The window subscribed to the live readings at creation.
    EXPECT_TRUE(bool(rig.dm.OnMainTextChange));
}

TEST(FormMain, ConnectWithoutMeterStaysDisconnectedAndSaysNotFound)
{
    MainWindowRig rig({{QStringLiteral("/nonexistent/kestro-meter"), QString()}});
    rig.form.ToolButton_Port->click();
    EXPECT_EQ(rig.form.ToolButton_Port->caption(), "Подключить");
    EXPECT_EQ(rig.form.ToolButton_Port->imageIndex(), 0);
    EXPECT_FALSE(rig.dm.USBWork().FBtnConnectOn);
    EXPECT_EQ(rig.dm.USBWork().FStatusString, NotFoundText);
    EXPECT_TRUE(Eventually([&] { return rig.panel(0); }, NotFoundText, 2000));
    EXPECT_TRUE(rig.boxes.requests.isEmpty());
}

TEST(FormMain, ResetItemZeroesBothCountsAtOnce)
{
    MainWindowRig rig;
    rig.counters().IncTx();
    rig.counters().IncTx();
    rig.counters().IncRx();
    rig.form.N1->trigger();
    EXPECT_EQ(rig.counters().tx(), 0);
    EXPECT_EQ(rig.counters().rx(), 0);
    EXPECT_EQ(rig.panel(1), ZeroCounters);
    EXPECT_EQ(rig.form.N1->text(), "Сбросить");
}

TEST(FormMain, ClosingWindowDetachesLiveReadings)
{
    auto dm = std::make_unique<TDM_1>(std::make_unique<CandidatePorts>(QList<VirtualPort>{}, nullptr));
    {
        TForm_Main form(*dm);
        QSignalSpy closed(&form, &TForm_Main::formClosed);
        form.show();
        form.ToolButton_Exit->click();
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(closed.count(), 1);
    }
    EXPECT_FALSE(bool(dm->OnMainTextChange));
}

TEST(FormMain, ReadingsHandlerFillsEveryBoxWithItsOwnField)
{
    MainWindowRig rig;
    TQ_main q;
    q.Status = "s";
    q.Rashod_M = "m";
    q.Rashod_O = "o";
    q.Plotnost = "p";
    q.TempMCU = "c";
    q.TempTube = "t";
    q.FRQ = "f";
    q.TimePostCer0 = "d";
    q.ARU = "a";
    rig.counters().IncRx();
    rig.dm.OnMainTextChange(&rig.dm, q);
    const std::pair<TLabeledEdit *, const char *> expected[] = {
        {rig.form.LE_Status, "s"}, {rig.form.LE_Rashod_M, "m"}, {rig.form.LE_Rashod_O, "o"},
        {rig.form.LE_Plotnost, "p"}, {rig.form.LE_TempMCU, "c"}, {rig.form.LE_TempTube, "t"},
        {rig.form.LE_FRQ, "f"}, {rig.form.LE_TimePostCer0, "d"}, {rig.form.LE_ARU, "a"},
    };
    for (const auto &[edit, text] : expected)
        EXPECT_EQ(edit->text(), QString::fromLatin1(text)) << edit->objectName().toStdString();
    EXPECT_EQ(rig.panel(1), "Tx:0  Rx:1  ");
}

TEST(FormMain, HandlerErrorOfDataModuleReachesErrorBoxLater)
{
    MainWindowRig rig;
    Q_EMIT rig.dm.handlerError(QStringLiteral("'1,2,3' is not a valid floating point value"));
    // Queued: never shown from inside the link's own call.
    EXPECT_TRUE(rig.boxes.requests.isEmpty());
    EXPECT_TRUE(Eventually([&] { return rig.boxes.requests.size(); }, 1));
    EXPECT_EQ(rig.boxes.requests[0].icon, QMessageBox::Critical);
    EXPECT_EQ(rig.boxes.requests[0].text, "'1,2,3' is not a valid floating point value");
}

TEST(FormMain, StatusBarKeepsTheCountersPanelAndGivesTheRestToStatus)
{
    MainWindowRig rig;
    // 120 px, or what five-digit counts need in the bar's font.
    const int counters = CountersPanelWidth(*rig.form.StatusBar1);
    EXPECT_GE(counters, 120);
    const struct
    {
        int width;
        int statusWidth;
    } cases[] = {{400, 400 - counters}, {640, 640 - counters}, {counters + 1, 1}, {counters, 0}, {80, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.width);
        rig.form.resize(c.width, 396);
        EXPECT_EQ(rig.form.StatusBar1->width(), c.width);
        EXPECT_EQ(rig.form.StatusBar1->panelWidth(1), counters);
        EXPECT_EQ(rig.form.StatusBar1->panelWidth(0), c.statusWidth);
        EXPECT_EQ(rig.form.GetPanelRect(1), QRect(c.statusWidth, 0, counters, 19));
    }
    EXPECT_TRUE(rig.form.GetPanelRect(2).isEmpty());
    EXPECT_TRUE(rig.form.GetPanelRect(-1).isEmpty());
}

namespace {
// Presses a mouse button over the middle of a status bar panel and says
// whether the counters menu was asked to pop up, and where.
std::optional<QPoint> pressOnPanel(MainWindowRig &rig, int panel, Qt::MouseButton button)
{
    QSignalSpy popups(&rig.form, &TForm_Main::popupRequested);
    QTest::mousePress(rig.form.StatusBar1, button, {}, rig.form.GetPanelRect(panel).center());
    QTest::mouseRelease(rig.form.StatusBar1, button, {}, rig.form.GetPanelRect(panel).center());
    rig.form.PopupMenuRxTx->hide();
    if (popups.isEmpty())
        return std::nullopt;
    return popups.takeFirst().at(0).toPoint();
}
} // namespace

TEST(FormMain, OnlyRightClickOnCountersPanelOpensTheMenu)
{
    MainWindowRig rig;
    const QRect work = rig.form.screen()->availableGeometry();
    rig.form.move(work.topLeft() + QPoint(20, 20));
    EXPECT_TRUE(EventuallyTrue([&] { return rig.form.isVisible(); }));
    const struct
    {
        int panel;
        Qt::MouseButton button;
        bool opens;
    } cases[] = {
        {1, Qt::RightButton, true},
        {0, Qt::RightButton, false},
        {1, Qt::LeftButton, false},
        {0, Qt::LeftButton, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "panel " << c.panel << " button " << int(c.button));
        EXPECT_EQ(pressOnPanel(rig, c.panel, c.button).has_value(), c.opens);
    }
}

TEST(FormMain, CountersMenuOpensUnderTheBarOrAboveItNearTheScreenBottom)
{
    MainWindowRig rig;
    const QRect work = rig.form.screen()->availableGeometry();
    const int barHeight = rig.form.StatusBar1->height();

    rig.form.move(work.topLeft() + QPoint(20, 20));
    EXPECT_TRUE(Eventually([&] { return rig.form.pos(); }, work.topLeft() + QPoint(20, 20)));
    const QPoint panelTop = rig.form.StatusBar1->mapToGlobal(rig.form.GetPanelRect(1).topLeft());
    EXPECT_EQ(pressOnPanel(rig, 1, Qt::RightButton), std::optional<QPoint>(panelTop + QPoint(0, barHeight)));

    // Bar bottom 10 px above the work area's end: the menu's 20 px items would not fit below.
    const int y = work.y() + work.height() - 10 - rig.form.height();
    rig.form.move(work.x() + 20, y);
    EXPECT_TRUE(Eventually([&] { return rig.form.pos().y(); }, y));
    const QPoint lowPanelTop = rig.form.StatusBar1->mapToGlobal(rig.form.GetPanelRect(1).topLeft());
    const int menuHeight = 20 * int(rig.form.PopupMenuRxTx->actions().size());
    EXPECT_EQ(pressOnPanel(rig, 1, Qt::RightButton), std::optional<QPoint>(lowPanelTop - QPoint(0, menuHeight)));
}

TEST(FormMain, CaptionsFitTheirButtonsAndNarrowBarsClipInsteadOfOverlapping)
{
    MainWindowRig rig;
    for (const bool connected : {false, true}) {
        rig.form.ToolButton_Port->setCaption(connected ? "Отключить" : "Подключить");
        for (TToolButton *b : rig.form.ToolBar1->findChildren<TToolButton *>()) {
            if (b->caption().isEmpty())
                continue;
            EXPECT_LE(b->fontMetrics().horizontalAdvance(b->caption()), TToolButton::ButtonWidth - 4)
                << b->caption().toStdString();
            EXPECT_GE(b->font().pointSizeF(), TToolButton::SmallestCaptionPointSize);
        }
    }
    rig.form.resize(150, rig.form.height());
    QApplication::processEvents();
    int left = 0;
    for (const char *name : {"ToolButton_Port", "ToolButton_Settings", "ToolButton_Kalibr", "ToolButton_Run", "ToolButton_Exit"}) {
        const QWidget *b = rig.form.ToolBar1->findChild<QWidget *>(name);
        EXPECT_EQ(b->geometry(), QRect(left, 0, 70, 49)) << name;
        left += 70;
    }
}

TEST(FormMain, PortWithoutRightsIsExplainedOnce)
{
    MainWindowRig rig;
    emit rig.dm.permissionDenied(QStringLiteral("/dev/ttyACM0"));
    QApplication::processEvents();
    ASSERT_EQ(rig.boxes.requests.size(), 1);
    EXPECT_EQ(rig.boxes.requests[0].icon, QMessageBox::Information);
    EXPECT_TRUE(rig.boxes.requests[0].text.contains("/dev/ttyACM0"));
    EXPECT_TRUE(rig.boxes.requests[0].text.contains("dialout"));
}

TEST(FormMain, CountersMenuStartsAndStopsTheLiveLogAndTheStatusSaysSo)
{
    MainWindowRig rig;
    ASSERT_EQ(rig.form.N_Log->text(), "Запись в файл…");
    EXPECT_EQ(rig.form.PopupMenuRxTx->actions().indexOf(rig.form.N_Log),
              rig.form.PopupMenuRxTx->actions().indexOf(rig.form.N1) + 1);
    QTemporaryDir dir;
    QString error;
    ASSERT_TRUE(rig.form.liveLog().start(dir.filePath("live.csv"), &error)) << error.toStdString();
    EXPECT_EQ(rig.form.N_Log->text(), "Остановить запись");
    EXPECT_TRUE(rig.form.StatusBar1->panelToolTip(0).endsWith("запись: live.csv, строк: 0"))
        << rig.form.StatusBar1->panelToolTip(0).toStdString();
    rig.form.N_LogClick(); // running: it stops, no question asked
    EXPECT_FALSE(rig.form.liveLog().isRunning());
    EXPECT_EQ(rig.form.N_Log->text(), "Запись в файл…");
    EXPECT_FALSE(rig.form.StatusBar1->panelToolTip(0).contains("запись"));
}
