#include "records/live_log.h"
#include "link/meter_link.h"
#include "protocol/protokol_usb.h"
#include "protocol/response_blocks.h"
#include "records/file_output.h"
#include "records/save_folder.h"
#include <QDir>

namespace LiveCsv {

QString HeaderLine()
{
    static const char *const names[] = {"Время",           "Статус",           "Массовый расход (кг/ч)",
                                        "Объемный расход", "Плотность (кг/м³)", "Температура MCU (°C)",
                                        "Температура (°C)", "Частота (Гц)",      "Δt (нс)",
                                        "АРУ (%)"};
    QStringList fields;
    for (const char *n : names)
        fields << QString::fromUtf8(n);
    return fields.join(QLatin1Char(Separator)) + QStringLiteral("\r\n");
}

QString Row(const QDateTime &local, const std::array<float, Readings> &values, const QLocale &locale)
{
    QStringList fields{local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))};
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    // Nine significant digits give back the very float the meter sent.
    for (float v : values)
        fields << plain.toString(double(v), 'g', 9);
    return fields.join(QLatin1Char(Separator)) + QStringLiteral("\r\n");
}

std::optional<std::array<float, Readings>> ReadingsOf(const QByteArray &frame)
{
    const BlockSpec &live = ResponseBlocks().front();
    if (frame.size() != live.length() || quint8(frame[1]) != live.function || quint8(frame[3]) != live.addr
        || quint8(frame[5]) != live.count)
        return std::nullopt;
    // In the order of the main window's fields: status, mass flow, volume flow,
    // density, MCU temperature, tube temperature, frequency, Δt, gain.
    std::array<float, Readings> values{};
    for (size_t i = 0; i < values.size() && i < live.fields.size(); ++i)
        values[i] = DecodeFieldValue(live.fields[i], frame);
    return values;
}

QString DefaultPath(const QDateTime &now)
{
    return InSaveFolder(QStringLiteral("kestrolink-%1.csv").arg(now.toString(QStringLiteral("yyyyMMdd-HHmmss"))));
}

} // namespace LiveCsv

TLiveLog::TLiveLog(TMeterLink &dm, QObject *parent) : QObject(parent)
{
    connect(&dm, &TMeterLink::answerAccepted, this, &TLiveLog::onAnswer);
}

TLiveLog::~TLiveLog()
{
    stop();
}

bool TLiveLog::start(const QString &path, QString *error, const QLocale &locale)
{
    stop();
    m_file.setFileName(path);
    m_locale = locale;
    m_rows = 0;
    // Unbuffered: each row goes to the system as it is written, and a row the
    // disk refused is not left in a buffer to be written again at close.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = QStringLiteral("Файл %1 не создан: %2").arg(path, m_file.errorString());
        return false;
    }
    QString why;
    if (!write(QStringLiteral("\uFEFF") + LiveCsv::HeaderLine(), &why)) {
        *error = QStringLiteral("Файл %1 не записан: %2").arg(path, why);
        m_file.close();
        return false;
    }
    m_goodSize = m_file.pos();
    emit runningChanged(true);
    return true;
}

void TLiveLog::stop()
{
    if (!m_file.isOpen())
        return;
    m_file.close();
    emit runningChanged(false);
}

bool TLiveLog::write(const QString &text, QString *error)
{
    // A row the disk took only part of is pushed on, so the system names the reason
    // (a full disk) rather than leaving a short count with no error.
    return FileOutput::WriteAll(m_file, text.toUtf8(), error);
}

void TLiveLog::onAnswer(const QByteArray &frame)
{
    if (!m_file.isOpen())
        return;
    const auto values = LiveCsv::ReadingsOf(frame);
    if (!values)
        return;
    QString reason;
    if (write(LiveCsv::Row(QDateTime::currentDateTime(), *values, m_locale), &reason)) {
        ++m_rows;
        m_goodSize = m_file.pos();
        return;
    }
    // A row cut short by a full disk is taken back: the file ends with a whole row.
    m_file.resize(m_goodSize);
    const QString message = QStringLiteral("Запись в %1 остановлена: %2. Записанные строки (%3) сохранены.")
                                .arg(m_file.fileName(), reason)
                                .arg(m_rows);
    stop();
    emit failed(message);
}
