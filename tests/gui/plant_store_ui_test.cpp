// The plant store as the engineer meets it: the dialog that sets its address and
// tests it, and the main window's count of records still waiting to go.
#include "gui/gui_support.h"
#include "records/plant_sync.h"
#include "ui/records/dialog_plant_store.h"
#include <QLabel>
#include <QLineEdit>
#include <QTcpServer>
#include <gtest/gtest.h>

TEST(PlantStoreDialog, SaysWhyAServerDoesNotAnswerAndKeepsTheAddress)
{
    qunsetenv("KESTRO_RECORDS_URL");
    TPlantSync::SetConfiguredUrl(QString());
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 closed = probe.serverPort();
    probe.close();

    TDialogPlantStore dialog;
    EXPECT_TRUE(dialog.Edit_Url->text().isEmpty());
    EXPECT_FALSE(dialog.testConnection());
    EXPECT_TRUE(dialog.Label_Result->text().contains("только на этом компьютере"));

    const QString url = QStringLiteral("postgresql://kestro@127.0.0.1:%1/plant").arg(closed);
    dialog.Edit_Url->setText(url);
    EXPECT_FALSE(dialog.testConnection());
    EXPECT_FALSE(dialog.Label_Result->text().isEmpty());
    EXPECT_FALSE(dialog.Label_Result->text().startsWith("Соединение есть"));
    dialog.save();
    EXPECT_EQ(TPlantSync::ConfiguredUrl(), url);
    EXPECT_EQ(TDialogPlantStore().Edit_Url->text(), url);
    TPlantSync::SetConfiguredUrl(QString());
    EXPECT_TRUE(TPlantSync::ConfiguredUrl().isEmpty());
}

TEST(PlantWaiting, TheStatusBarCountsRecordsNotYetUploaded)
{
    MainWindowRig rig;
    for (int count : {3, 0, 12, -1}) {
        rig.form.showPlantWaiting(count);
        const bool shown = rig.panel(0).contains(QStringLiteral("Записей ждут отправки: %1").arg(count));
        EXPECT_EQ(shown, count > 0) << count << ": " << rig.panel(0).toStdString();
        EXPECT_EQ(rig.panel(0).contains("Записей ждут"), count > 0) << count;
    }
}
