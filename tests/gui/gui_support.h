#pragma once
// Shared pieces of the GUI tests: a message presenter that answers boxes
// without a modal loop, and a main window on a data module whose only
// candidate ports are the ones a test names.
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "ui/common/message_presenter.h"
#include "ui/common/panel_status_bar.h"
#include "ui/main/form_main.h"
#include <QList>
#include <QPoint>
#include <QRect>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QPoint &p, std::ostream *os)
{
    *os << '(' << p.x() << ", " << p.y() << ')';
}
inline void PrintTo(const QRect &r, std::ostream *os)
{
    *os << '(' << r.x() << ", " << r.y() << ' ' << r.width() << 'x' << r.height() << ')';
}

// QTest's QTRY_ macros report to QTest, which GoogleTest never hears of; these
// wait the same way (processing events) and give GoogleTest a verdict.
template <class Get, class T>
testing::AssertionResult Eventually(Get get, const T &expected, int timeoutMs = 2000)
{
    if (QTest::qWaitFor([&] { return get() == expected; }, timeoutMs))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "after " << timeoutMs << " ms the value is "
                                       << testing::PrintToString(get()) << ", expected "
                                       << testing::PrintToString(expected);
}

template <class Pred>
testing::AssertionResult EventuallyTrue(Pred pred, int timeoutMs = 2000)
{
    if (QTest::qWaitFor(pred, timeoutMs))
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "still false after " << timeoutMs << " ms";
}

class RecordingPresenter : public MessagePresenter
{
public:
    explicit RecordingPresenter(QMessageBox::StandardButton answer = QMessageBox::Ok) : m_answer(answer) {}

    QMessageBox::StandardButton present(QWidget *, const MessageBoxRequest &request) override
    {
        requests.append(request);
        if (onPresent)
            onPresent(request);
        return m_answer;
    }

    void setAnswer(QMessageBox::StandardButton answer) { m_answer = answer; }

    QList<MessageBoxRequest> requests;
    // Runs while the "box" is up, like code running inside a modal loop.
    std::function<void(const MessageBoxRequest &)> onPresent;

private:
    QMessageBox::StandardButton m_answer;
};

struct MainWindowRig
{
    explicit MainWindowRig(const QList<VirtualPort> &ports = {})
        : dm(std::make_unique<CandidatePorts>(ports, nullptr)), form(dm)
    {
        form.show();
    }

    QString panel(int index) const { return form.StatusBar1->panelText(index); }
    TRxTxCnt &counters() { return dm.USBWork().CntRxTx; }

    RecordingPresenter boxes;
    ScopedMessagePresenter presenterScope{boxes};
    TDM_1 dm;
    TForm_Main form;
};

inline const QString NotFoundText = QStringLiteral("  Порт не найден!");
inline const QString ZeroCounters = QStringLiteral("Tx:0  Rx:0  ");
