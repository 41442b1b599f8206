// Mirror fill of the flow points: one half of the table from the other, as its
// mirror image about zero flow.
#include "protocol/number_text.h"
#include "protocol/flow_table.h"
#include "ui/calibration/form_kalibrovka.h"
#include "ui/calibration/tab_flow.h"
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
enum Direction { Cancel = 0, ForwardFromReverse = 1, ReverseFromForward = 2 };
}

int TForm_Kalibrovka::AskMirrorDirection()
{
    // Owned by no window, centred over the calibration window the question is about.
    QDialog dialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    dialog.setObjectName(QStringLiteral("MirrorDirectionDialog"));
    dialog.setWindowTitle(QStringLiteral("Подтверждение"));
    dialog.setFont(font());
    dialog.setFixedSize(300, 210);
    auto *question = new QLabel(QStringLiteral("Зеркально заполнить часть таблицы калибровки"), &dialog);
    // Wrapped inside the dialog's margins when a larger font makes it wider than they are.
    constexpr int Margin = 20;
    question->setWordWrap(true);
    const int width = dialog.width() - 2 * Margin;
    question->setGeometry(Margin, Margin, width, question->heightForWidth(width));
    const struct
    {
        const char *caption;
        QRect place;
        int result;
    } choices[] = {
        {"Отмена", {170, 130, 70, 25}, Cancel}, // first in the tab order: it has the focus
        {"Обратный расход по прямому", {40, 50, 200, 25}, ReverseFromForward},
        {"Прямой расход по обратному", {40, 90, 200, 25}, ForwardFromReverse},
    };
    QPushButton *first = nullptr;
    for (const auto &c : choices) {
        auto *button = new QPushButton(QString::fromUtf8(c.caption), &dialog);
        button->setGeometry(c.place);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, &dialog, [&dialog, result = c.result] { dialog.done(result); });
        if (!first)
            first = button;
    }
    first->setFocus();
    // move() places the frame: take it as thick as this window's, as Qt does for its own dialogs.
    const QPoint frame = geometry().topLeft() - pos();
    dialog.move(geometry().center() - dialog.rect().center() - frame);
    // The close box ends with 0 as well.
    const int result = dialog.exec();
    return result == ForwardFromReverse || result == ReverseFromForward ? result : Cancel;
}

void TForm_Kalibrovka::N1Click()
{
    const int direction = AskMirrorDirection();
    // Z is taken before the choice is looked at: an empty centre fails even on cancel.
    const float z = ParseLocaleFloat(TabSheet3->Edit_Q_Pribor[FlowTable::CentrePoint - 1]->text());
    if (direction == Cancel)
        return;
    const auto &etalon = TabSheet3->Edit_Q_Etalon;
    const auto &pribor = TabSheet3->Edit_Q_Pribor;
    // Point n mirrors point 14 - n; each target is written before the next source is read.
    for (int n = 1; n <= 6; ++n) {
        const int from = direction == ForwardFromReverse ? n : 14 - n;
        const int to = 14 - from;
        etalon[size_t(to - 1)]->setText(FlowTable::MirroredReference(ParseLocaleDouble(etalon[size_t(from - 1)]->text())));
    }
    for (int n = 1; n <= 6; ++n) {
        const int from = direction == ForwardFromReverse ? n : 14 - n;
        const int to = 14 - from;
        pribor[size_t(to - 1)]->setText(FlowTable::MirroredDeltaT(z, ParseLocaleDouble(pribor[size_t(from - 1)]->text())));
    }
}
