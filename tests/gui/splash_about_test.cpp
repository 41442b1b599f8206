// The splash and About windows: their texts, their links, how they end.
#include "app/maker_info.h"
#include "app/unit_about.h"
#include "app/unit_splash.h"
#include "gui/meter_rig.h"
#include "gui/url_catcher.h"
#include "ui/common/tool_bar.h"
#include <QDesktopServices>
#include <QLabel>
#include <QUrl>


TEST(Splash, NamesTheDeviceOpensTheSiteAndEndsByEitherWay)
{
    UrlCatcher urls;
    TFormSplash splash;
    EXPECT_EQ(splash.windowTitle(), "KESTRO_link");
    EXPECT_EQ(splash.size(), QSize(570, 348));
    EXPECT_EQ(splash.LabelDevice->text(), "Расходомер кориолисовый КЕСТРО");
    EXPECT_EQ(splash.LabelDevice->font().pixelSize(), 21);
    EXPECT_EQ(splash.LabelCompany->text(), "ООО \"ВЕЛНОР\"");
    EXPECT_FALSE(splash.ImageMaker->pixmap().isNull());
    splash.ButtonGoTo->click();
    splash.ButtonGoTo->click();
    splash.ImageProduct->click();
    EXPECT_EQ(urls.opened, (QStringList{Maker::WebSite, Maker::WebSite, Maker::ProductPage}));
    EXPECT_TRUE(Maker::WebSite.endsWith(".example"));

    for (const bool closeBox : {false, true}) {
        QTimer::singleShot(50, &splash, [&] { closeBox ? (void)splash.close() : splash.ButtonContinue->click(); });
        EXPECT_EQ(splash.exec(), closeBox ? QDialog::Rejected : QDialog::Accepted);
    }
}

TEST(About, OpensAgainAndAgainWithTheSameTexts)
{
    UrlCatcher urls;
    MeterRig rig;
    TForm_Main main(*rig.dm);
    main.setAboutWindow([] { return std::make_unique<TFormAbout>(); });
    for (int round = 0; round < 3; ++round) {
        WhenDialogShows([&](QDialog *d) {
            auto *about = static_cast<TFormAbout *>(d);
            EXPECT_EQ(about->windowTitle(), "О программе");
            EXPECT_EQ(about->size(), QSize(343, 193));
            EXPECT_EQ(about->LabelAppName->text(), "KESTRO_link");
            EXPECT_EQ(about->LabelVersion->text(), "Версия " KESTRO_VERSION);
            EXPECT_TRUE(about->LabelRights->text().contains("2026"));
            EXPECT_EQ(about->LabelPhone->text(), Maker::Phone);
            emit about->LabelWebSite->linkActivated(Maker::WebSite);
            ClickButton(d, "ОК");
        });
        main.ToolButtonAbout->click();
    }
    EXPECT_EQ(urls.opened.size(), 3);
}
