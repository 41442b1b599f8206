#include "ui/calibration/chart_export.h"
#include "ui/common/error_box.h"
#include "ui/common/file_dialogs.h"
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QSaveFile>
#include <QToolButton>
#include <qcustomplot.h>

namespace ChartExport {

bool Write(QCustomPlot &chart, const QString &path, const std::function<QString()> &csv, QString *error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    bool ok = false;
    if (suffix == QLatin1String("csv")) {
        QSaveFile file(path);
        ok = file.open(QIODevice::WriteOnly) && file.write(csv().toUtf8()) >= 0 && file.commit();
        if (!ok)
            *error = QStringLiteral("Файл %1 не записан: %2").arg(path, file.errorString());
        return ok;
    }
    if (suffix == QLatin1String("png"))
        ok = chart.savePng(path);
    else if (suffix == QLatin1String("pdf"))
        ok = chart.savePdf(path);
    else {
        *error = QStringLiteral("Неизвестный формат файла %1: нужен .csv, .png или .pdf").arg(path);
        return false;
    }
    if (!ok)
        *error = QStringLiteral("Файл %1 не записан").arg(path);
    return ok;
}

QString SuggestedFileName(const QString &title, const QDateTime &when, const QString &suffix)
{
    const QString stem = title.trimmed().isEmpty() ? QStringLiteral("График") : title;
    return FileNameFromTitle(
        QStringLiteral("%1 %2.%3").arg(stem, when.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss")), suffix));
}

QToolButton *CreateButton(QCustomPlot &chart, const std::function<QString()> &title, const Exporter &exportTo)
{
    auto *button = new QToolButton(&chart);
    button->setObjectName(chart.objectName() + QStringLiteral("_Export"));
    button->setText(QStringLiteral("Экспорт"));
    button->setToolTip(QStringLiteral("Сохранить точки графика или его рисунок"));
    button->setPopupMode(QToolButton::InstantPopup);
    auto *menu = new QMenu(button);
    menu->setObjectName(button->objectName() + QStringLiteral("_Menu"));
    const struct
    {
        QString caption, filter, suffix;
    } kinds[] = {{QStringLiteral("Точки в CSV…"), QStringLiteral("Таблица CSV (*.csv)"), QStringLiteral("csv")},
                 {QStringLiteral("Рисунок PNG…"), QStringLiteral("Рисунок PNG (*.png)"), QStringLiteral("png")},
                 {QStringLiteral("Документ PDF…"), QStringLiteral("Документ PDF (*.pdf)"), QStringLiteral("pdf")}};
    QCustomPlot *owner = &chart;
    for (const auto &kind : kinds) {
        menu->addAction(kind.caption, button, [owner, title, exportTo, kind] {
            const QString path =
                AskSaveFileName(owner, QStringLiteral("Экспорт графика"),
                                SuggestedFileName(title(), QDateTime::currentDateTime(), kind.suffix), kind.filter);
            if (path.isEmpty())
                return;
            QString error;
            if (!exportTo(path, &error))
                ShowErrorBox(owner, error);
        });
    }
    button->setMenu(menu);
    return button;
}

void PlaceCornerButtons(QCustomPlot &chart, const QList<QWidget *> &buttons)
{
    constexpr int Gap = 4;
    int right = Gap, bottom = 0;
    for (QWidget *button : buttons) {
        button->setParent(&chart);
        button->resize(button->sizeHint());
        button->move(right, Gap);
        right += button->width() + Gap;
        bottom = qMax(bottom, button->geometry().bottom() + 1);
    }
    // The legend stands beside the buttons when the chart is wide enough for both,
    // else below them: it is never cut.
    QCPLegend *legend = chart.legend;
    const QMargins own = legend->margins();
    const auto fit = [legend, own, right, bottom] {
        const QMargins now = legend->margins();
        const int content = legend->minimumOuterSizeHint().width() - now.left() - now.right();
        QMargins margins = own;
        const QCustomPlot *plot = legend->parentPlot();
        if (right + 2 * Gap + content + own.right() <= plot->width())
            margins.setLeft(right + 2 * Gap);
        else
            margins.setTop(bottom + Gap);
        if (margins != now)
            legend->setMargins(margins);
    };
    QObject::connect(&chart, &QCustomPlot::beforeReplot, legend, fit);
    fit();
}

QString CsvNumber(double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 9);
}

QString CsvText(const QStringList &header, const QList<QStringList> &rows)
{
    QString text = QStringLiteral("\uFEFF") + header.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    for (const QStringList &fields : rows)
        text += fields.join(QLatin1Char(';')) + QStringLiteral("\r\n");
    return text;
}

} // namespace ChartExport
