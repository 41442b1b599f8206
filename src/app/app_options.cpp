#include "app/app_options.h"
#include <QCommandLineParser>

QString VersionText()
{
    return QStringLiteral("kestrolink " KESTRO_VERSION);
}

static QString usageText(const QList<QCommandLineOption> &options)
{
    QString text = QStringLiteral("Usage: kestrolink [options]\n"
                                  "Service and calibration tool for Kestro Coriolis mass flowmeters.\n\n"
                                  "Options:\n");
    for (const QCommandLineOption &option : options) {
        QStringList names;
        for (const QString &name : option.names())
            names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        QString head = names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            head += QLatin1Char(' ') + option.valueName();
        text += QStringLiteral("  %1\n      %2\n").arg(head, option.description());
    }
    return text;
}

namespace {
const QStringList HelpNames{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")};
const QStringList VersionNames{QStringLiteral("v"), QStringLiteral("version")};
} // namespace

bool AsksOnlyForText(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        QString arg = QString::fromLocal8Bit(argv[i]);
        if (!arg.startsWith(QLatin1Char('-')))
            continue;
        arg.remove(0, arg.startsWith(QStringLiteral("--")) ? 2 : 1);
        if (HelpNames.contains(arg) || VersionNames.contains(arg))
            return true;
    }
    return false;
}

OptionsOutcome ParseAppOptions(const QStringList &arguments, AppOptions &options)
{
    const QCommandLineOption virtualPort(
        QStringLiteral("virtual-port"),
        QStringLiteral("Add a serial port to the meter's candidates, before the system's ports "
                       "(repeatable). DESCRIPTION stands for the bus-reported description, SERIAL for "
                       "the USB serial number kept with every snapshot."),
        QStringLiteral("PATH[=[DESCRIPTION][@SERIAL]]"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Serve a simulated meter inside the program and offer its port."));
    const QCommandLineOption trace(QStringLiteral("trace"),
                                   QStringLiteral("Log the link's events and every frame, in hex with times, to "
                                                  "standard error (the same as QT_LOGGING_RULES=\"kestro.link*=true\")."));
    const QCommandLineOption records(QStringLiteral("records"),
                                     QStringLiteral("The plant's record store, postgresql://USER@HOST:PORT/DBNAME (default "
                                                    "$KESTRO_RECORDS_URL, else the setting records/plant_url). Records are "
                                                    "written locally first and uploaded when the server answers; the "
                                                    "password comes from ~/.pgpass or $PGPASSFILE."),
                                     QStringLiteral("URL"));
    const QCommandLineOption help(HelpNames, QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(VersionNames, QStringLiteral("Show the version and exit."));
    const QList<QCommandLineOption> all = {virtualPort, demo, trace, records, help, version};

    QCommandLineParser parser;
    parser.addOptions(all);
    OptionsOutcome outcome;
    // Whatever is not understood is reported, never a reason to refuse to start.
    if (!parser.parse(arguments)) {
        for (const QString &name : parser.unknownOptionNames())
            outcome.warnings << QStringLiteral("unknown option '%1' ignored").arg(name);
        if (parser.unknownOptionNames().isEmpty())
            outcome.warnings << parser.errorText();
    }
    for (const QString &stray : parser.positionalArguments())
        outcome.warnings << QStringLiteral("argument '%1' ignored").arg(stray);
    if (parser.isSet(help))
        return {OptionsOutcome::ShowText, usageText(all), {}};
    if (parser.isSet(version))
        return {OptionsOutcome::ShowText, VersionText() + QLatin1Char('\n'), {}};

    options = AppOptions{};
    for (const QString &value : parser.values(virtualPort)) {
        const VirtualPort port = ParseVirtualPortArg(value);
        if (port.path.isEmpty()) {
            outcome.warnings << QStringLiteral("--virtual-port needs a PATH: '%1' ignored").arg(value);
            continue;
        }
        options.virtualPorts.append(port);
    }
    options.demo = parser.isSet(demo);
    options.trace = parser.isSet(trace);
    options.recordsUrl = parser.value(records);
    return outcome;
}
