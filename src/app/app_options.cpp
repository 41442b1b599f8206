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

OptionsOutcome ParseAppOptions(const QStringList &arguments, AppOptions &options)
{
    const QCommandLineOption virtualPort(
        QStringLiteral("virtual-port"),
        QStringLiteral("Add a serial port to the meter's candidates, before the system's ports "
                       "(repeatable). DESCRIPTION stands for the bus-reported description."),
        QStringLiteral("PATH[=DESCRIPTION]"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Serve a simulated meter inside the program and offer its port."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and exit."));
    const QList<QCommandLineOption> all = {virtualPort, demo, help, version};

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(all);
    if (!parser.parse(arguments))
        return {OptionsOutcome::Fail, parser.errorText() + QLatin1Char('\n')};
    if (!parser.positionalArguments().isEmpty()) {
        return {OptionsOutcome::Fail,
                QStringLiteral("Unexpected argument: %1\n").arg(parser.positionalArguments().constFirst())};
    }
    if (parser.isSet(help))
        return {OptionsOutcome::ShowText, usageText(all)};
    if (parser.isSet(version))
        return {OptionsOutcome::ShowText, VersionText() + QLatin1Char('\n')};

    options = AppOptions{};
    for (const QString &value : parser.values(virtualPort)) {
        const VirtualPort port = ParseVirtualPortArg(value);
        if (port.path.isEmpty())
            return {OptionsOutcome::Fail, QStringLiteral("--virtual-port needs a PATH: '%1'\n").arg(value)};
        options.virtualPorts.append(port);
    }
    options.demo = parser.isSet(demo);
    return {};
}
