// kestroctl: the meter from a shell.
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "link/link_log.h"
#include "tools/ctl_blocks.h"
#include "tools/ctl_calibrate.h"
#include "tools/ctl_certificate.h"
#include "tools/ctl_interrupt.h"
#include "tools/ctl_plant.h"
#include "tools/ctl_records.h"
#include "tools/ctl_runner.h"
#include "records/certificate_parties.h"
#include "records/plant_sync.h"
#include "tools/ctl_parties.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

QString helpText()
{
    return QStringLiteral(
               "Usage: kestroctl [--virtual-port PATH[=[DESCRIPTION][@SERIAL]]]... [--timeout MS] COMMAND [OPTIONS]\n"
               "\n"
               "Talks to a Kestro flowmeter on its USB serial port (USB ID 0483:5740).\n"
               "\n"
               "Options:\n"
               "  --virtual-port PATH[=DESCRIPTION]  try this port first (repeatable, in order);\n"
               "                                     without a description it counts as NOT_FOUND;\n"
               "                                     PATH=DESCRIPTION@SERIAL also gives the USB serial\n"
               "                                     number the meter's port stands for\n"
               "  --timeout MS                       how long to wait for each answer (default 1000)\n"
               "  --records URL                      the plant's record store: postgresql://USER@HOST:PORT/DB\n"
               "                                     (default $KESTRO_RECORDS_URL, else the program's\n"
               "                                     setting records/plant_url; none: records stay local).\n"
               "                                     The password comes from ~/.pgpass or $PGPASSFILE\n"
               "  --trace                            log the link's events and every frame, in hex\n"
               "                                     with times, to standard error\n"
               "  -h, --help                         this text\n"
               "  -v, --version                      the program's version\n"
               "\n"
               "Commands:\n"
               "  discover             find and open the meter's port, print the status text\n"
               "  live [--count N]     poll the live block every 333 ms, one tab-separated line of\n"
               "                       nine readings per answer; stop after N answers\n"
               "  read BLOCK           read a block and print Name=Text lines; BLOCK is one of\n"
               "                       %1\n"
               "\n"
               "Calibration records (snapshots of the meter's calibration registers, shared with\n"
               "kestrolink; the database is $KESTRO_SNAPSHOT_DB if set, else\n"
               "~/.local/share/kestrolink/snapshots.sqlite):\n"
               "  backup [--note TEXT] [--output FILE]\n"
               "                       read every calibration area and store it as a snapshot;\n"
               "                       prints its number; --output also exports it to FILE\n"
               "  history [--serial S] the snapshots, newest first: number, local time, reason,\n"
               "                       port, areas, note, meter serial (tab-separated); with\n"
               "                       --serial only that meter's, from the plant store if set\n"
               "  diff ID|FILE         compare a snapshot (a number, or an exported file) with the\n"
               "                       meter now, one line per differing value\n"
               "  restore ID|FILE [--areas LIST] [--yes] [--other-meter]\n"
               "                       put the snapshot's areas back (LIST: comma-separated of\n"
               "                       density, thermometer, zero, flow-table; default all). A\n"
               "                       snapshot of the meter is stored first; then the writes,\n"
               "                       command 24 and a register-by-register check. Without\n"
               "                       --yes it prints the differences and writes nothing.\n"
               "                       A snapshot taken from a meter with another USB serial\n"
               "                       number is refused without --other-meter. Each restore is\n"
               "                       journaled; history names one cut short (on standard error)\n"
               "                       with the commands that finish or undo it\n"
               "  export ID FILE       write a snapshot as a JSON file\n"
               "  import FILE          check a snapshot file and store it; prints its new number\n"
               "\n"
               "Calibration runs (the whole procedure at a rig: as found, calibration, as left):\n"
               "  calibrate --rig RIG --serial S --operator NAME [--plan FILE] [--rig-map FILE]\n"
               "            [--json FILE] [--restore-on-abort] [--accept-unsettled] [--yes]\n"
               "            [--time-scale X] [--reference-name TEXT] [--reference-certificate TEXT]\n"
               "            [--reference-due YYYY-MM-DD] [--reference-u PERCENT] [--reference-k K]\n"
               "            [--reference-dof N] [--laboratory TEXT] [--laboratory-address TEXT]\n"
               "            [--customer TEXT] [--customer-address TEXT] [--signatory NAME]\n"
               "            [--signatory-role TEXT]\n"
               "                       RIG is sim[:PORT] (the simulator's rig, Modbus TCP on\n"
               "                       127.0.0.1, port 1502 by default), modbus:tcp://HOST:PORT,\n"
               "                       modbus:rtu:DEVICE (register map: --rig-map) or operator\n"
               "                       (the flow is set and the reference typed at the terminal).\n"
               "                       Prints one line per point and a final table, and keeps the\n"
               "                       run record in the store point by point. Without --yes it\n"
               "                       stops before writing the flow table and shows what it would\n"
               "                       write. A point that never settles ends the run unless\n"
               "                       --accept-unsettled. --restore-on-abort puts the calibration\n"
               "                       the run found back when the run ends early after writing.\n"
               "                       --json writes the whole record. --time-scale divides every\n"
               "                       time of the plan, for a simulator run faster than real time.\n"
               "                       The --reference-* options name the rig's reference meter for\n"
               "                       the record: its certificate, the day its calibration is due,\n"
               "                       the expanded uncertainty U its certificate states (% of\n"
               "                       reading, 0 to 10; none: not stated), its coverage factor k\n"
               "                       (1 to 10, default 2) and degrees of freedom (at least 1;\n"
               "                       none: infinite); numbers take a point or a comma. A due date\n"
               "                       behind today refuses the run (5, nothing sent); one within\n"
               "                       30 days is warned of on standard error and the run goes on.\n"
               "                       A completed run issues its certificate (PDF and DCC, kept in\n"
               "                       the store) in the name of the laboratory, customer and\n"
               "                       signatory the options give; one not given is the window's,\n"
               "                       from the settings file its plan page remembers\n"
               "  runs [--serial S]    the run records, newest first (tab-separated): number, local\n"
               "                       start time, serial, operator, rig, end, as-found and as-left\n"
               "                       verdicts, as-left max error, uuid; with --serial from the\n"
               "                       plant store if set\n"
               "  run ID|UUID [--json FILE] [--dcc FILE]\n"
               "                       one run record with every point; --dcc writes its Digital\n"
               "                       Calibration Certificate (XML) instead\n"
               "  certificate --serial S [--dcc FILE | --pdf FILE]\n"
               "                       the meter's latest issued certificate (a completed calibrate\n"
               "                       issues one) from the local store, else from the plant store\n"
               "                       if set: its number, run uuid, issue date and workstation, or\n"
               "                       its DCC or PDF, as issued, into the file; none: 5\n"
               "\n"
               "Plant records (every record is written to the local database first; with a plant\n"
               "store set, each is then uploaded once, keyed on its uuid; what the server did not\n"
               "take waits and is sent later):\n"
               "  records sync         upload every record that waits\n"
               "  records push         upload every local record (again): for a workstation that\n"
               "                       worked without a plant store\n"
               "  meters [--serial S]  every meter by serial (tab-separated): serial, first seen,\n"
               "                       last run's start, its end and as-left verdict, workstation;\n"
               "                       from the plant store if set\n"
               "\n"
               "Numbers use the decimal separator of your locale (LANG, LC_NUMERIC, LC_ALL).\n"
               "\n"
               "Exit codes: 0 done; 1 discover found no port; 2 no meter port could be opened\n"
               "(the status text goes to standard error); 3 an answer did not come in time;\n"
               "4 the meter's port is there but you have no right to it (the hint on standard\n"
               "error says how to get it); 5 the snapshot store, a snapshot file or a snapshot\n"
               "number is not usable, or an export could not be written whole (the reason goes\n"
               "to standard error; a file already there is kept), or a calibration run's reference\n"
               "is past its due date; 6 differences printed\n"
               "and nothing written (diff found differences, restore without --yes); 7 a restore\n"
               "stopped midway or the meter does not hold what was written (standard error says\n"
               "which areas were written and which snapshot leads back); 8 a calibration run was\n"
               "aborted or failed (a rig fault, a point that never settled, the meter lost; the\n"
               "record and standard error say why); 9 a run completed and the meter is not fit\n"
               "(\"не годен\") as left; 10 the plant store did not answer or refused the user (wrong\n"
               "password, host or port; the records wait in the local database and commands that\n"
               "write still succeed); 64 wrong usage. A plan or rig map file that is refused gives 5.\n"
               "\n"
               "Signals: SIGINT (Ctrl-C), SIGTERM and SIGHUP end a calibration run as aborted (8), with\n"
               "the restore of --restore-on-abort; a table write under way is finished first, and a\n"
               "restore is never cut. Any other command ends at once with 128 + the signal's number\n"
               "(130 for Ctrl-C); a restore that is writing finishes first and answers with its own\n"
               "code. At every end of a run the rig is set to its idle set point (0, or the map's\n"
               "idle_setpoint); the last lines say whether the rig confirmed it.\n")
        .arg(CtlBlockNames().join(QStringLiteral(", ")));
}

} // namespace

int main(int argc, char **argv)
{
    // A completed calibration draws its certificate, and fonts need a GUI application;
    // on the command line it never shows a window, so it runs on the offscreen platform.
    const bool draws = std::any_of(argv + 1, argv + argc, [](const char *a) { return qstrcmp(a, "calibrate") == 0; });
    if (draws)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        draws ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestroctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRO_VERSION));

    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    // The help text above says it all in one piece; these sentences say it per option.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show the help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Log the link's events and every frame to standard error."));
    const QCommandLineOption virtualPort(QStringLiteral("virtual-port"),
                                         QStringLiteral("Try this port first; repeat it for more ports."),
                                         QStringLiteral("PATH[=[DESCRIPTION][@SERIAL]]"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QStringLiteral("Wait this long for each answer."),
                                     QStringLiteral("MS"), QStringLiteral("1000"));
    const QCommandLineOption count(QStringLiteral("count"), QStringLiteral("Stop the live output after N answers."),
                                   QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption note(QStringLiteral("note"), QStringLiteral("A note stored with the backup."), QStringLiteral("TEXT"));
    const QCommandLineOption output(QStringLiteral("output"), QStringLiteral("Also export the backup to this file."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption areas(QStringLiteral("areas"), QStringLiteral("The areas to restore."), QStringLiteral("LIST"));
    const QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Restore without asking: write."));
    const QCommandLineOption otherMeter(QStringLiteral("other-meter"),
                                        QStringLiteral("Restore a snapshot taken from another meter."));
    const QCommandLineOption rig(QStringLiteral("rig"), QStringLiteral("The rig a calibration run uses."), QStringLiteral("RIG"));
    const QCommandLineOption rigMap(QStringLiteral("rig-map"), QStringLiteral("The Modbus rig's register map file."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption plan(QStringLiteral("plan"), QStringLiteral("The calibration run's plan file."), QStringLiteral("FILE"));
    const QCommandLineOption serial(QStringLiteral("serial"), QStringLiteral("The meter's serial number."), QStringLiteral("S"));
    const QCommandLineOption operatorName(QStringLiteral("operator"), QStringLiteral("Who runs the calibration."),
                                          QStringLiteral("NAME"));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Write the run record as JSON."), QStringLiteral("FILE"));
    const QCommandLineOption dcc(QStringLiteral("dcc"), QStringLiteral("Write the Digital Calibration Certificate (XML)."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption pdf(QStringLiteral("pdf"), QStringLiteral("Write the certificate's PDF."), QStringLiteral("FILE"));
    const QCommandLineOption restoreOnAbort(QStringLiteral("restore-on-abort"),
                                            QStringLiteral("Put the found calibration back when a run ends early."));
    const QCommandLineOption acceptUnsettled(QStringLiteral("accept-unsettled"),
                                             QStringLiteral("Take a point that never settles as it is."));
    const QCommandLineOption recordsUrl(QStringLiteral("records"), QStringLiteral("The plant's record store."),
                                     QStringLiteral("URL"));
    const QCommandLineOption timeScale(QStringLiteral("time-scale"), QStringLiteral("Divide the plan's times by X."),
                                       QStringLiteral("X"), QStringLiteral("1"));
    const QCommandLineOption referenceName(QStringLiteral("reference-name"), QStringLiteral("The rig's reference meter."),
                                           QStringLiteral("TEXT"));
    const QCommandLineOption referenceCertificate(QStringLiteral("reference-certificate"),
                                                  QStringLiteral("The reference's certificate."), QStringLiteral("TEXT"));
    const QCommandLineOption referenceDue(QStringLiteral("reference-due"),
                                          QStringLiteral("The day the reference's calibration is due."),
                                          QStringLiteral("YYYY-MM-DD"));
    const QCommandLineOption referenceU(QStringLiteral("reference-u"),
                                        QStringLiteral("The reference's expanded uncertainty, % of reading."),
                                        QStringLiteral("PERCENT"));
    const QCommandLineOption referenceK(QStringLiteral("reference-k"), QStringLiteral("Its coverage factor."),
                                        QStringLiteral("K"));
    const QCommandLineOption referenceDof(QStringLiteral("reference-dof"), QStringLiteral("Its degrees of freedom."),
                                          QStringLiteral("N"));
    QList<QCommandLineOption> partyOptions;
    for (const CertificatePartyField &f : CertificatePartyFields())
        partyOptions << QCommandLineOption(QLatin1String(f.key), QString::fromUtf8(f.accessible), QStringLiteral("TEXT"));
    parser.addOptions(partyOptions);
    parser.addOptions({help, version, trace, virtualPort, timeout, count, note, output, areas, yes, otherMeter, rig, rigMap,
                       plan, serial, operatorName, json, dcc, pdf, restoreOnAbort, acceptUnsettled, timeScale, recordsUrl,
                       referenceName, referenceCertificate, referenceDue, referenceU, referenceK, referenceDof});

    auto usageError = [&](const QString &message) {
        err << "kestroctl: " << message << "\n\n" << helpText();
        err.flush();
        return CtlExit::Usage;
    };

    if (!parser.parse(app->arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        out << helpText();
        return CtlExit::Done;
    }
    if (parser.isSet(version)) {
        out << "kestroctl " << KESTRO_VERSION << '\n';
        return CtlExit::Done;
    }
    if (parser.isSet(trace))
        EnableLinkTrace();

    bool ok = false;
    const int timeoutMs = parser.value(timeout).toInt(&ok);
    if (!ok || timeoutMs <= 0)
        return usageError(QStringLiteral("--timeout: нужно положительное число миллисекунд"));
    const int countValue = parser.value(count).toInt(&ok);
    if (!ok || countValue < 0)
        return usageError(QStringLiteral("--count: нужно число ответов"));

    const double timeScaleValue = parser.value(timeScale).toDouble(&ok);
    if (!ok || !(timeScaleValue >= 0.01 && timeScaleValue <= 1000))
        return usageError(QStringLiteral("--time-scale: нужно число от 0,01 до 1000"));

    const auto given = [&](const QCommandLineOption &o) {
        return parser.isSet(o) ? std::optional<QString>(parser.value(o)) : std::nullopt;
    };
    QString referenceError;
    const std::optional<CtlReference> reference =
        ParseCtlReference({given(referenceName), given(referenceCertificate), given(referenceDue), given(referenceU),
                           given(referenceK), given(referenceDof)},
                          &referenceError);
    if (!reference)
        return usageError(referenceError);
    const std::optional<CertificateParties> parties = ParseCtlParties(
        [&](const char *key) {
            return parser.isSet(QLatin1String(key)) ? std::optional<QString>(parser.value(QLatin1String(key)))
                                                    : std::nullopt;
        },
        &referenceError);
    if (!parties)
        return usageError(referenceError);

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return usageError(QStringLiteral("не указана команда"));
    const QString command = args.first();

    // From here on a termination signal ends the command cleanly (a calibration run as
    // its abort does); a write to the meter is never cut in the middle.
    CtlInterrupt interrupt(err);
    QList<VirtualPort> virtuals;
    for (const QString &v : parser.values(virtualPort))
        virtuals << ParseVirtualPortArg(v);
    TDM_1 dm(std::make_unique<CandidatePorts>(virtuals, CreateSystemPortEnumerator()));
    CtlRunner runner(dm, out, err, timeoutMs);
    TRecordStore store;
    CtlPlant plant(store.path(), TPlantSync::ConfiguredUrl(parser.value(recordsUrl)), out, err);
    const QString serialValue = parser.value(serial);
    // Queries by serial read the plant's store when there is one.
    TRecordStore *bySerial = nullptr;
    const bool plantQuery = plant.enabled() && !serialValue.isEmpty() && args.size() == 1
                            && (command == QLatin1String("runs") || command == QLatin1String("history"));
    if (plantQuery) {
        int plantCode = CtlExit::Done;
        bySerial = plant.plantStore(&plantCode);
        if (!bySerial)
            return plantCode;
    }
    CtlRecords records(dm, runner, store, out, err,
                       {parser.value(note), parser.value(output), parser.value(areas), parser.isSet(yes), timeoutMs,
                        parser.isSet(otherMeter), &interrupt});
    CtlCalibrate calibration(dm, runner, store, out, err,
                             {parser.value(rig), parser.value(rigMap), parser.value(plan), parser.value(serial),
                              parser.value(operatorName), parser.value(json), parser.isSet(restoreOnAbort), parser.isSet(yes),
                              parser.isSet(acceptUnsettled), timeScaleValue, timeoutMs, &interrupt, *reference, *parties});

    int code = CtlExit::Usage;
    if (command == QLatin1String("discover") && args.size() == 1)
        code = runner.discover();
    else if (command == QLatin1String("live") && args.size() == 1)
        code = runner.live(countValue);
    else if (command == QLatin1String("read") && args.size() == 2)
        code = runner.read(args.at(1));
    else if (command == QLatin1String("backup") && args.size() == 1)
        code = records.backup();
    else if (command == QLatin1String("history") && args.size() == 1)
        code = records.history(serialValue, bySerial);
    else if (command == QLatin1String("diff") && args.size() == 2)
        code = records.diff(args.at(1));
    else if (command == QLatin1String("restore") && args.size() == 2)
        code = records.restore(args.at(1));
    else if (command == QLatin1String("export") && args.size() == 3)
        code = records.exportSnapshot(args.at(1), args.at(2));
    else if (command == QLatin1String("import") && args.size() == 2)
        code = records.importSnapshot(args.at(1));
    else if (command == QLatin1String("calibrate") && args.size() == 1)
        code = calibration.calibrate();
    else if (command == QLatin1String("runs") && args.size() == 1)
        code = calibration.runs(serialValue, bySerial);
    else if (command == QLatin1String("meters") && args.size() == 1)
        code = plant.meters(serialValue);
    else if (command == QLatin1String("records") && args.size() == 2
             && (args.at(1) == QLatin1String("sync") || args.at(1) == QLatin1String("push")))
        code = plant.sync(args.at(1) == QLatin1String("push"));
    else if (command == QLatin1String("run") && args.size() == 2 && parser.isSet(dcc))
        code = CtlWriteRunDcc(store, args.at(1), parser.value(dcc), err);
    else if (command == QLatin1String("run") && args.size() == 2)
        code = calibration.showRun(args.at(1));
    else if (command == QLatin1String("certificate") && args.size() == 1)
        code = CtlShowCertificate(store, plant, serialValue, parser.value(dcc), parser.value(pdf), out, err);
    else
        return usageError(QStringLiteral("неизвестная командная строка: %1").arg(args.join(QLatin1Char(' '))));
    // What a command stored goes to the plant now, or waits there for the next sync
    // (after a signal: at the next sync).
    if (interrupt.signal() == 0 && (command == QLatin1String("backup") || command == QLatin1String("import") || command == QLatin1String("restore")
        || command == QLatin1String("calibrate")))
        plant.uploadWritten();
    out.flush();
    err.flush();
    dm.closePort();
    return interrupt.exitCode(code);
}
