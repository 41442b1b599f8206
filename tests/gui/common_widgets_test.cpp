// The shared window pieces: the error box and the panel status bar.
#include "gui/gui_support.h"
#include "protocol/frame_sink.h"
#include "protocol/number_text.h"
#include <optional>
#include "ui/common/error_box.h"
#include "ui/common/panel_status_bar.h"
#include "ui/common/window_guard.h"
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

TEST(ErrorBox, ShowsTheErrorsMessageInACriticalBox)
{
    RecordingPresenter boxes;
    ScopedMessagePresenter scope(boxes);
    const QString withNul = QStringLiteral("'1") + QChar(0) + QStringLiteral("2' is not a valid floating point value");
    const struct
    {
        std::function<void()> handler;
        std::optional<QString> message; // none: no box
    } cases[] = {
        {[] { throw LinkError(QStringLiteral("Порт закрыт")); }, QStringLiteral("Порт закрыт")},
        {[] { throw FormAlreadyOpenError(); }, QStringLiteral("Форма уже открыта!")},
        {[] { throw std::runtime_error("'abc' is not a valid floating point value"); },
         QStringLiteral("'abc' is not a valid floating point value")},
        // A typed text with a NUL in it is shown whole, not cut at the NUL.
        {[] { ParseTypedFloat(QStringLiteral("1") + QChar(0) + QStringLiteral("2")); }, withNul},
        {[] {}, std::nullopt},
    };
    for (const auto &c : cases) {
        boxes.requests.clear();
        const bool completed = CatchToErrorBox(nullptr, c.handler);
        EXPECT_EQ(completed, !c.message.has_value());
        if (!c.message) {
            EXPECT_TRUE(boxes.requests.isEmpty());
            continue;
        }
        ASSERT_EQ(boxes.requests.size(), 1);
        EXPECT_EQ(boxes.requests[0].icon, QMessageBox::Critical);
        EXPECT_EQ(boxes.requests[0].text, *c.message);
        EXPECT_EQ(boxes.requests[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
}

TEST(ErrorBox, RepeatWhileTheSameBoxIsOpenDoesNotStack)
{
    RecordingPresenter boxes;
    ScopedMessagePresenter scope(boxes);
    int nested = 0;
    boxes.onPresent = [&](const MessageBoxRequest &) {
        // Inside the modal loop a timer raises the same error, then another one.
        if (nested++ == 0) {
            ShowErrorBox(nullptr, QStringLiteral("same"));
            ShowErrorBox(nullptr, QStringLiteral("other"));
        }
    };
    ShowErrorBox(nullptr, QStringLiteral("same"));
    ASSERT_EQ(boxes.requests.size(), 2);
    EXPECT_EQ(boxes.requests[1].text, "other");
    // Once the box is closed the message may be shown again.
    ShowErrorBox(nullptr, QStringLiteral("same"));
    EXPECT_EQ(boxes.requests.size(), 3);
}

TEST(PanelStatusBar, PanelRectanglesFollowTheWidthsBeforeThem)
{
    TPanelStatusBar bar(3);
    bar.resize(300, TPanelStatusBar::DefaultHeight);
    bar.setPanelWidth(0, 100);
    bar.setPanelWidth(1, 0);
    bar.setPanelWidth(2, 150);
    const struct
    {
        int index;
        QRect rect;
    } cases[] = {
        {0, QRect(0, 0, 100, 19)}, {1, QRect(100, 0, 0, 19)}, {2, QRect(100, 0, 150, 19)}, {3, QRect()}, {-1, QRect()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(bar.GetPanelRect(c.index), c.rect) << c.index;

    // A panel of no width is never hit; points past the last panel hit nothing.
    EXPECT_EQ(bar.panelAt(QPoint(99, 5)), 0);
    EXPECT_EQ(bar.panelAt(QPoint(100, 5)), 2);
    EXPECT_EQ(bar.panelAt(QPoint(249, 18)), 2);
    EXPECT_EQ(bar.panelAt(QPoint(250, 5)), -1);
}

TEST(PanelStatusBar, ReportsMouseButtonAndPoint)
{
    TPanelStatusBar bar(2);
    bar.resize(200, TPanelStatusBar::DefaultHeight);
    bar.show();
    QSignalSpy pressed(&bar, &TPanelStatusBar::mouseDown);
    QTest::mousePress(&bar, Qt::RightButton, {}, QPoint(150, 7));
    ASSERT_EQ(pressed.size(), 1);
    EXPECT_EQ(pressed[0][0].value<Qt::MouseButton>(), Qt::RightButton);
    EXPECT_EQ(pressed[0][1].toPoint(), QPoint(150, 7));
}
