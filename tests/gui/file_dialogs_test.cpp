// Where files are offered and how they are named: the documents folder or the
// home folder, never the working directory; the chart's title in the name; a
// saved document nobody can open is found by its path.
#include "gui/kalibr_window_fixture.h"
#include "records/live_log.h"
#include "support/locale_guard.h"
#include "records/save_folder.h"
#include "ui/calibration/chart_export.h"
#include "ui/calibration/live_chart.h"
#include "ui/common/file_dialogs.h"
#include "ui/common/live_log_control.h"
#include <QDesktopServices>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QTemporaryDir>
#include <QToolButton>

namespace {

// A home folder of the test's own, with or without its documents folder.
class FakeHome
{
public:
    explicit FakeHome(bool withDocuments) : m_saved(qgetenv("HOME"))
    {
        qputenv("HOME", m_dir.path().toLocal8Bit());
        if (withDocuments)
            QDir(m_dir.path()).mkdir(QStringLiteral("Documents"));
    }
    ~FakeHome() { qputenv("HOME", m_saved); }
    QString path() const { return m_dir.path(); }
    QString documents() const { return m_dir.filePath(QStringLiteral("Documents")); }

private:
    QTemporaryDir m_dir;
    QByteArray m_saved;
};

struct SeenDialog
{
    QString folder, file;
};

// Looks at the next file dialog, then accepts it as offered or cancels it.
void WhenFileDialogShows(SeenDialog &seen, bool accept)
{
    WhenDialogShows([&seen, accept](QDialog *d) {
        auto *dialog = qobject_cast<QFileDialog *>(d);
        if (!dialog) {
            ADD_FAILURE() << "not a file dialog: " << d->metaObject()->className();
            d->reject();
            return;
        }
        seen = {dialog->directory().absolutePath(), QFileInfo(dialog->selectedFiles().value(0)).fileName()};
        if (accept)
            static_cast<QDialog *>(dialog)->accept();
        else
            dialog->reject();
    });
}

class UrlTaker : public QObject
{
    Q_OBJECT
public:
    QStringList opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened << url.toLocalFile(); }
};

} // namespace

TEST(SaveFolder, DocumentsWhenTheyExistElseHome)
{
    for (bool withDocuments : {true, false}) {
        SCOPED_TRACE(withDocuments);
        FakeHome home(withDocuments);
        const QString expected = withDocuments ? home.documents() : home.path();
        EXPECT_EQ(SaveFolder(), expected);
        EXPECT_EQ(InSaveFolder(QStringLiteral("a.csv")), expected + QStringLiteral("/a.csv"));
        EXPECT_EQ(InSaveFolder(QStringLiteral("/elsewhere/a.csv")), "/elsewhere/a.csv");
        EXPECT_TRUE(LiveCsv::DefaultPath(QDateTime::currentDateTime()).startsWith(expected + QLatin1Char('/')));
    }
}

TEST(SaveFolder, FileNamesFromTitles)
{
    const struct
    {
        const char *title, *name;
    } cases[] = {{"Поверка - Расход массовый", "Поверка - Расход массовый"},
                 {"a/b\\c:d*e?f\"g<h>i|j", "a_b_c_d_e_f_g_h_i_j"},
                 {"..скрытый", "скрытый"},
                 {"  Температура (°C),  Δt(нс) ", "Температура (°C), Δt(нс)"},
                 {"строка\nвторая", "строка_вторая"}};
    for (const auto &c : cases)
        EXPECT_EQ(FileNameFromTitle(QString::fromUtf8(c.title)), QString::fromUtf8(c.name)) << c.title;
    const QDateTime when(QDate(2026, 12, 10), QTime(3, 4, 5));
    EXPECT_EQ(ChartExport::SuggestedFileName(QStringLiteral("Кривая: расход"), when, QStringLiteral("png")),
              "Кривая_ расход 2026-12-10 03-04-05.png");
    EXPECT_EQ(ChartExport::SuggestedFileName(QString(), when, QStringLiteral("csv")), "График 2026-12-10 03-04-05.csv");
}

TEST_F(KalibrWindow, ChartExportIsOfferedInTheSaveFolderUnderTheChartsTitle)
{
    LocaleGuard locale(LocaleGuard::comma());
    FakeHome home(true);
    form->PageControl1->setCurrentWidget(poverka());
    TLiveChart *chart = poverka()->Chart_Rashod_Poverka;
    chart->append(0, QDateTime(QDate(2026, 12, 10), QTime(3, 0)), 1234.5);
    const QList<QAction *> kinds = chart->exportButton()->menu()->actions();
    ASSERT_EQ(kinds.size(), 3);

    SeenDialog seen;
    WhenFileDialogShows(seen, true);
    kinds[0]->trigger();
    EXPECT_EQ(seen.folder, home.documents());
    EXPECT_TRUE(seen.file.startsWith("Поверка - Расход массовый 20")) << seen.file.toStdString();
    EXPECT_TRUE(seen.file.endsWith(".csv")) << seen.file.toStdString();
    QFile csv(QDir(home.documents()).filePath(seen.file));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << seen.file.toStdString();
    EXPECT_EQ(csv.readAll(), QByteArray("\xEF\xBB\xBF" "Время;Расход массовый\r\n2026-12-10T03:00:00.000;1234,5\r\n"));

    // Without a documents folder the home folder, for the picture as well.
    QDir(home.documents()).removeRecursively();
    WhenFileDialogShows(seen, false);
    kinds[1]->trigger();
    EXPECT_EQ(seen.folder, home.path());
    EXPECT_TRUE(seen.file.endsWith(".png")) << seen.file.toStdString();
    EXPECT_TRUE(rig.boxes.requests.isEmpty());
}

TEST(SaveFolder, TheLiveLogIsOfferedThereToo)
{
    FakeHome home(false);
    TDM_1 dm(std::make_unique<CandidatePorts>(QList<VirtualPort>{}, nullptr));
    TLiveLog log(dm);
    QWidget parent;
    SeenDialog seen;
    WhenFileDialogShows(seen, false);
    ToggleLiveLog(&parent, log);
    EXPECT_EQ(seen.folder, home.path());
    EXPECT_TRUE(seen.file.startsWith("kestrolink-")) << seen.file.toStdString();
    EXPECT_FALSE(log.isRunning());
}

TEST(SavedDocument, OpenedByTheViewerElseItsPathIsShown)
{
    if (QGuiApplication::platformName() != QLatin1String("offscreen"))
        GTEST_SKIP() << "only the offscreen platform is sure to have no document viewer";
    const QString path = QStringLiteral("/tmp/протоколы/Протокол поверки КС-1.pdf");
    for (bool viewer : {true, false}) {
        SCOPED_TRACE(viewer);
        RecordingPresenter boxes;
        ScopedMessagePresenter scope(boxes);
        UrlTaker taker;
        if (viewer)
            QDesktopServices::setUrlHandler(QStringLiteral("file"), &taker, "open");
        OpenSavedDocument(nullptr, QStringLiteral("Протокол поверки"), path);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        EXPECT_EQ(taker.opened, viewer ? QStringList{path} : QStringList{});
        ASSERT_EQ(boxes.requests.size(), viewer ? 0 : 1);
        if (!viewer) {
            EXPECT_EQ(boxes.requests[0].text, "Протокол поверки сохранён в файл\n" + path
                                                  + "\n\nПрограмма для его просмотра не найдена: откройте файл вручную.");
        }
    }
}

#include "file_dialogs_test.moc"
