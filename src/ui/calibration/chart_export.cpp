#include "ui/calibration/chart_export.h"
#include "records/file_output.h"
#include "ui/common/error_box.h"
#include "ui/common/file_dialogs.h"
#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QBuffer>
#include <QPdfWriter>
#include <QToolButton>
#include <qcustomplot.h>

namespace ChartExport {

namespace {

// The chart as PNG or PDF bytes, drawn in memory so that a full disk is seen when
// the file is saved; empty when it cannot be drawn.
QByteArray PictureBytes(QCustomPlot &chart, const QString &suffix)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (suffix == QLatin1String("png"))
        return chart.toPixmap().save(&buffer, "PNG") ? buffer.data() : QByteArray();
    // The chart's own size in points, as the picture on screen.
    const QSize size = chart.size();
    {
        QPdfWriter pdf(&buffer);
        pdf.setCreator(QStringLiteral("KestroLink " KESTRO_VERSION));
        // The screen's resolution: fonts keep the size they have beside the plot on screen.
        pdf.setResolution(chart.logicalDpiX());
        pdf.setPageLayout(QPageLayout(QPageSize(size, QPageSize::Point, QString(), QPageSize::ExactMatch),
                                      QPageLayout::Portrait, QMarginsF()));
        QCPPainter painter;
        if (!painter.begin(&pdf))
            return {};
        painter.setMode(QCPPainter::pmVectorized);
        painter.setWindow(QRect(QPoint(), size));
        chart.toPainter(&painter, size.width(), size.height());
        if (!painter.end())
            return {};
    }
    return buffer.data();
}

} // namespace

bool Write(QCustomPlot &chart, const QString &path, const std::function<QString()> &csv, QString *error)
{
    // Each format is made in memory first and then saved whole, so a full disk
    // cannot leave a cut-off file behind a success.
    const QString suffix = QFileInfo(path).suffix().toLower();
    QByteArray bytes;
    if (suffix == QLatin1String("csv"))
        bytes = csv().toUtf8();
    else if (suffix == QLatin1String("png") || suffix == QLatin1String("pdf"))
        bytes = PictureBytes(chart, suffix);
    else {
        *error = QStringLiteral("Неизвестный формат файла %1: нужен .csv, .png или .pdf").arg(path);
        return false;
    }
    QString why = QStringLiteral("картинка не построена");
    if (bytes.isEmpty() || !FileOutput::Save(path, bytes, &why)) {
        *error = QStringLiteral("Файл %1 не записан: %2").arg(path, why);
        return false;
    }
    return true;
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
