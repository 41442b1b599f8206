// Qt's own texts in Russian: standard buttons, the edit boxes' menus, the file
// dialog. Every GUI test runs with them installed, as the program does.
#include "app/qt_translations.h"
#include "gui/kalibr_window_fixture.h"
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QRegularExpression>

namespace {

class QtRussianTexts : public testing::Environment
{
    // A machine without the catalogue still runs the other tests; the test below says what is missing.
    void SetUp() override { InstallQtTranslations(); }
};
[[maybe_unused]] testing::Environment *const g_russian = testing::AddGlobalTestEnvironment(new QtRussianTexts);

// A Latin letter outside a shortcut ("\tCtrl+Z") is an English word left on screen.
bool hasLatinWord(const QString &text)
{
    static const QRegularExpression latin(QStringLiteral("[A-Za-z]{2,}"));
    return text.section(QLatin1Char('\t'), 0, 0).contains(latin);
}

} // namespace

TEST(QtRussian, StandardButtonsMenusAndFileDialogAreRussian)
{
    ASSERT_TRUE(InstallQtTranslations()) << "qtbase_ru is missing: scripts/install-deps.sh installs qt6-translations-l10n";
    EXPECT_TRUE(InstallQtTranslations()); // a second call finds the first

    const struct
    {
        QMessageBox::StandardButton button;
        const char *text;
    } buttons[] = {{QMessageBox::Ok, "OK"},          {QMessageBox::No, "&Нет"},         {QMessageBox::Yes, "&Да"},
                   {QMessageBox::Cancel, "Отмена"}, {QMessageBox::Save, "Сохранить"}, {QMessageBox::Close, "Закрыть"}};
    QMessageBox box;
    for (const auto &b : buttons)
        box.addButton(b.button);
    for (const auto &b : buttons)
        EXPECT_EQ(box.button(b.button)->text(), QString::fromUtf8(b.text));

    QLineEdit line;
    QPlainTextEdit plain;
    const std::unique_ptr<QMenu> menus[] = {std::unique_ptr<QMenu>(line.createStandardContextMenu()),
                                            std::unique_ptr<QMenu>(plain.createStandardContextMenu())};
    for (const auto &menu : menus) {
        QStringList texts;
        for (const QAction *a : menu->actions())
            texts << a->text();
        EXPECT_GE(texts.size(), 6);
        for (const QString &t : texts)
            EXPECT_FALSE(hasLatinWord(t)) << t.toStdString();
    }

    QFileDialog dialog(nullptr, QStringLiteral("Экспорт графика"), QDir::tempPath(), QStringLiteral("Таблица CSV (*.csv)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.show();
    QStringList shown;
    for (const QLabel *l : dialog.findChildren<QLabel *>()) {
        if (l->isVisible())
            shown << l->text();
    }
    for (const QAbstractButton *b : dialog.findChildren<QAbstractButton *>()) {
        if (b->isVisible())
            shown << b->text();
    }
    shown.removeAll(QString());
    EXPECT_GE(shown.size(), 4) << shown.join(" | ").toStdString(); // file name, type, save, cancel
    for (const QString &t : shown)
        EXPECT_FALSE(hasLatinWord(t)) << t.toStdString();
}

// The clear question through the program's own modal box: "Нет" is what Enter presses.
TEST_F(KalibrWindow, ClearingTheVerificationTableDefaultsToNo)
{
    ASSERT_TRUE(InstallQtTranslations());
    poverka()->setCell(Verification::Etalon, 1, QStringLiteral("10"));
    ScopedMessagePresenter modal(ModalMessages());
    QString defaultText;
    WhenDialogShows([&](QDialog *d) {
        auto *box = qobject_cast<QMessageBox *>(d);
        ASSERT_NE(box, nullptr);
        defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
        QTest::keyClick(box, Qt::Key_Return);
    });
    poverka()->Button12->click();
    EXPECT_EQ(defaultText, "&Нет");
    EXPECT_EQ(poverka()->cell(Verification::Etalon, 1), "10");
}
