// Remembered window placement: the section text, and the three windows' stores.
#include "gui/meter_rig.h"
#include "ui/calibration/form_kalibrovka.h"
#include "ui/common/placement_store.h"
#include "ui/common/tool_bar.h"
#include "ui/settings/form_settings.h"
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>

namespace {

QSettings store()
{
    return QSettings(TPlacementStore::organisation(), TPlacementStore::application());
}

QStringList stored(const QString &section)
{
    QSettings s(TPlacementStore::organisation(), TPlacementStore::application());
    s.beginGroup(section);
    QStringList lines;
    for (int i = 0; s.contains(TPlacementStore::lineKey(i)); ++i)
        lines << s.value(TPlacementStore::lineKey(i)).toString();
    return lines;
}

void write(const QString &section, const QMap<int, QString> &lines)
{
    QSettings s(TPlacementStore::organisation(), TPlacementStore::application());
    s.beginGroup(section);
    for (auto it = lines.begin(); it != lines.end(); ++it)
        s.setValue(TPlacementStore::lineKey(it.key()), it.value());
}

QMap<int, QString> numbered(const QStringList &lines)
{
    QMap<int, QString> out;
    for (int i = 0; i < lines.size(); ++i)
        out[i] = lines[i];
    return out;
}

WindowPlacement placement(int left, int top, int width, int height, int dpi, WindowPlacement::State state,
                          std::optional<int> tab = std::nullopt)
{
    WindowPlacement p;
    p.left = left;
    p.top = top;
    p.width = width;
    p.height = height;
    p.pixelsPerInch = dpi;
    p.state = state;
    p.tabIndex = tab;
    return p;
}

} // namespace

TEST(PlacementText, BuildsAndReadsTheSectionText)
{
    const QStringList main = PlacementText::Build("Form_Main", "TForm_Main",
                                                  placement(210, 120, 416, 435, 96, WindowPlacement::State::Normal));
    EXPECT_EQ(main, (QStringList{"object Form_Main: TForm_Main", "  Height = 435", "  Left = 210",
                                 "  PixelsPerInch = 96", "  Top = 120", "  Width = 416", "  WindowState = wsNormal",
                                 "end"}));
    const WindowPlacement kalibr = placement(-8, -30, 1020, 742, 144, WindowPlacement::State::Maximized, 4);
    const QStringList lines = PlacementText::Build("Form_Kalibrovka", "TForm_Kalibrovka", kalibr);
    EXPECT_EQ(lines.mid(7), (QStringList{"  object PageControl1: TPageControl", "    TabIndex = 4", "  end", "end"}));
    // Every field comes back as it went, each with a value no other field has.
    const WindowPlacement roundTrips[] = {
        kalibr,
        placement(210, 120, 416, 435, 96, WindowPlacement::State::Normal),
        placement(7, 11, 13, 17, 120, WindowPlacement::State::Minimized, 0),
    };
    for (const WindowPlacement &p : roundTrips) {
        const auto back = PlacementText::Parse(PlacementText::Build("Form_Kalibrovka", "TForm_Kalibrovka", p));
        ASSERT_TRUE(back);
        EXPECT_EQ(back->height, p.height);
        EXPECT_EQ(back->left, p.left);
        EXPECT_EQ(back->pixelsPerInch, p.pixelsPerInch);
        EXPECT_EQ(back->top, p.top);
        EXPECT_EQ(back->width, p.width);
        EXPECT_EQ(back->state, p.state);
        EXPECT_EQ(back->tabIndex, p.tabIndex);
    }

    const struct
    {
        const char *name;
        QStringList lines;
        bool readable;
    } cases[] = {
        {"unknown property and component skipped",
         {"object X: Y", "  Color = clRed", "  object Panel1: TPanel", "    Width = 3", "  end", "  Width = 9", "end"},
         true},
        {"only lines 0-2 (a hole at 3)", main.mid(0, 3), false},
        {"number that is not one", {"object X: Y", "  Width = 4o0", "end"}, false},
        {"unknown state", {"object X: Y", "  WindowState = wsHuge", "end"}, false},
        {"text after the end", {"object X: Y", "end", "  Width = 1"}, false},
        {"no object line", {"  Width = 1", "end"}, false},
        {"empty", {}, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PlacementText::Parse(c.lines).has_value(), c.readable) << c.name;
}

class WindowPlacementStore : public testing::Test
{
protected:
    MeterRig rig;
};

TEST_F(WindowPlacementStore, FirstStartWritesEightLinesAndAMaximisedWindowComesBackMaximised)
{
    {
        TForm_Main form(*rig.dm);
        form.show();
        form.setGeometry(150, 100, 400, 396);
        form.close();
    }
    QStringList lines = stored("MAIN");
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[0], "object Form_Main: TForm_Main");
    EXPECT_EQ(lines[2], "  Left = 150");
    {
        TForm_Main form(*rig.dm);
        form.show();
        EXPECT_EQ(form.geometry(), QRect(150, 100, 400, 396));
        form.setWindowState(Qt::WindowMaximized);
        form.close();
    }
    lines = stored("MAIN");
    EXPECT_EQ(lines[6], "  WindowState = wsMaximized");
    EXPECT_EQ(lines[2], "  Left = 150");
    TForm_Main form(*rig.dm);
    form.show();
    EXPECT_TRUE(form.isMaximized());
    EXPECT_EQ(form.normalGeometry(), QRect(150, 100, 400, 396));
}

TEST_F(WindowPlacementStore, ScalesByPixelsPerInchAndPullsBackAnOffScreenWindow)
{
    const int dpi = int(std::lround(QGuiApplication::primaryScreen()->logicalDotsPerInchY()));
    write("MAIN", numbered(PlacementText::Build("Form_Main", "TForm_Main",
                                                placement(20, 30, 416, 200, dpi * 2 / 3, WindowPlacement::State::Normal))));
    {
        TForm_Main form(*rig.dm);
        form.show();
        EXPECT_EQ(form.width(), 624);
        EXPECT_EQ(form.geometry().topLeft(), QPoint(30, 45));
    }
    write("MAIN", numbered(PlacementText::Build("Form_Main", "TForm_Main",
                                                placement(90000, -90000, 400, 300, dpi, WindowPlacement::State::Normal))));
    TForm_Main form(*rig.dm);
    form.show();
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(form.geometry()));
}

TEST_F(WindowPlacementStore, CalibrationWindowReopensOnItsLastTab)
{
    for (int round = 0; round < 2; ++round) {
        QPointer<TForm_Kalibrovka> form = new TForm_Kalibrovka(*rig.dm);
        form->show();
        EXPECT_EQ(form->PageControl1->currentIndex(), round == 0 ? 3 : 4);
        form->PageControl1->setCurrentIndex(4);
        form->close();
        ASSERT_TRUE(EventuallyTrue([&] { return form.isNull(); }));
    }
    const QStringList lines = stored("FKalibr");
    ASSERT_EQ(lines.size(), 11);
    EXPECT_EQ(lines[8], "    TabIndex = 4");
}

TEST_F(WindowPlacementStore, SurplusLinesGoAndAnUnreadableSectionIsLeftAlone)
{
    QStringList longer = PlacementText::Build("Form_Settings", "TForm_Settings",
                                              placement(40, 50, 360, 170, 96, WindowPlacement::State::Normal));
    longer.insert(1, "  Caption = x");
    longer.insert(1, "  Color = y");
    write("FSetting", numbered(longer));
    {
        TForm_Settings form(*rig.dm);
        form.show();
        form.close();
    }
    EXPECT_EQ(stored("FSetting").size(), 8);
    EXPECT_FALSE(store().contains("FSetting/" + TPlacementStore::lineKey(8)));

    // A hole at line 3: only lines 0-2 are read, nothing loads and nothing is saved.
    QMap<int, QString> holed = numbered(longer);
    holed.remove(3);
    store().remove("FSetting");
    write("FSetting", holed);
    {
        TForm_Settings form(*rig.dm);
        form.show();
        EXPECT_NE(form.geometry().topLeft(), QPoint(40, 50));
        form.move(77, 77);
        form.close();
    }
    QSettings s = store();
    EXPECT_FALSE(s.contains("FSetting/" + TPlacementStore::lineKey(3)));
    EXPECT_EQ(s.value("FSetting/" + TPlacementStore::lineKey(9)).toString(), longer[9]);
}

TEST_F(WindowPlacementStore, SettingsWindowStillOpenAtTheEndIsSaved)
{
    {
        TForm_Main main(*rig.dm);
        main.show();
        main.ToolButton_Settings->click();
        ASSERT_NE(main.findChild<TForm_Settings *>(), nullptr);
    }
    EXPECT_EQ(stored("FSetting").size(), 8);
}
