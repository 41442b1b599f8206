#include "tools/ctl_certificate.h"
#include "records/file_output.h"
#include "records/record_store.h"
#include "records/run_dcc.h"
#include "tools/ctl_plant.h"
#include "tools/ctl_runner.h"

namespace {

int failed(QTextStream &err, int code, const QString &message)
{
    err << "kestroctl: " << message << Qt::endl;
    return code;
}

int save(QTextStream &err, const QString &file, const QByteArray &bytes)
{
    QString error;
    if (!FileOutput::Save(file, bytes, &error))
        return failed(err, CtlExit::RecordsError, QStringLiteral("%1 не записан: %2").arg(file, error));
    return CtlExit::Done;
}

} // namespace

int CtlWriteRunDcc(TRecordStore &store, const QString &idOrUuid, const QString &file, QTextStream &err)
{
    if (const QString refusal = FileOutput::Refusal(file); !refusal.isEmpty())
        return failed(err, CtlExit::RecordsError, refusal);
    if (!store.open())
        return failed(err, CtlExit::RecordsError, store.lastError());
    const std::optional<RunRecord> run = store.run(idOrUuid);
    if (!run)
        return failed(err, CtlExit::RecordsError,
                      store.lastError().isEmpty() ? QStringLiteral("нет калибровки %1").arg(idOrUuid) : store.lastError());
    QString error;
    const QByteArray dcc = RunDcc::Write(*run, &error);
    if (dcc.isEmpty())
        return failed(err, CtlExit::RecordsError, QStringLiteral("DCC не составлен: %1").arg(error));
    return save(err, file, dcc);
}

int CtlShowCertificate(TRecordStore &local, CtlPlant &plant, const QString &serial, const QString &dccFile,
                       const QString &pdfFile, QTextStream &out, QTextStream &err)
{
    if (serial.trimmed().isEmpty())
        return failed(err, CtlExit::Usage, QStringLiteral("для certificate нужен --serial"));
    if (!dccFile.isEmpty() && !pdfFile.isEmpty())
        return failed(err, CtlExit::Usage, QStringLiteral("certificate пишет один файл: --dcc или --pdf"));
    const QString file = dccFile.isEmpty() ? pdfFile : dccFile;
    if (const QString refusal = file.isEmpty() ? QString() : FileOutput::Refusal(file); !refusal.isEmpty())
        return failed(err, CtlExit::RecordsError, refusal);
    if (!local.open())
        return failed(err, CtlExit::RecordsError, local.lastError());
    std::optional<IssuedCertificate> c = local.latestCertificate(serial);
    if (!local.lastError().isEmpty())
        return failed(err, CtlExit::RecordsError, local.lastError());
    // Issued at another workstation: the plant has it.
    if (!c && plant.enabled()) {
        int code = CtlExit::Done;
        TRecordStore *there = plant.plantStore(&code);
        if (!there)
            return code;
        c = there->latestCertificate(serial);
        if (!there->lastError().isEmpty())
            return failed(err, CtlExit::RecordsError, there->lastError());
    }
    if (!c)
        return failed(err, CtlExit::RecordsError, QStringLiteral("нет сертификата прибора %1").arg(serial));
    if (!dccFile.isEmpty())
        return save(err, dccFile, c->dcc);
    if (!pdfFile.isEmpty()) {
        if (c->pdf.isEmpty())
            return failed(err, CtlExit::RecordsError, QStringLiteral("сертификат %1 хранится без PDF").arg(c->number));
        return save(err, pdfFile, c->pdf);
    }
    out << "certificate " << c->number << " revision " << c->revision << '\n'
        << "run " << c->runUuid << '\n'
        << "issued " << c->issuedUtc.toLocalTime().toString(Qt::ISODate) << '\n'
        << "workstation " << c->workstation << '\n';
    out.flush();
    return CtlExit::Done;
}
