// kestro-meter-sim: serves simulated meters in series on one rig, each on a
// pseudo-terminal, until stopped.
#include "sim/meter_server.h"
#include "sim/quit_on_signal.h"
#include "sim/rig_modbus_server.h"
#include "sim/rig_physics.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
bool doubleOption(const QCommandLineParser &p, const QString &name, double min, double *out)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const double v = p.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < min) {
        std::fprintf(stderr, "kestro-meter-sim: invalid value for --%s: %s\n", qPrintable(name),
                     qPrintable(p.value(name)));
        return false;
    }
    *out = v;
    return true;
}

bool intOption(const QCommandLineParser &p, const QString &name, int min, int *out)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const int v = p.value(name).toInt(&ok);
    if (!ok || v < min) {
        std::fprintf(stderr, "kestro-meter-sim: invalid value for --%s: %s\n", qPrintable(name),
                     qPrintable(p.value(name)));
        return false;
    }
    *out = v;
    return true;
}

struct Unplug
{
    int position = 0; // 1: the first meter
    double seconds = 0.0;
};

// "K@SECONDS": meter K of meters unplugged for good that many simulated seconds in.
bool unplugOption(const QString &value, int meters, Unplug *out)
{
    const QStringList parts = value.split(QLatin1Char('@'));
    bool okK = false, okS = false;
    const int k = parts.value(0).toInt(&okK);
    const double s = parts.value(1).toDouble(&okS);
    if (parts.size() != 2 || !okK || !okS || k < 1 || k > meters || !std::isfinite(s) || s < 0.0) {
        std::fprintf(stderr, "kestro-meter-sim: invalid value for --unplug-meter: %s\n", qPrintable(value));
        return false;
    }
    *out = {k, s};
    return true;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestro-meter-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KESTRO_VERSION));

    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Simulated Kestro flowmeter on a pseudo-terminal. Prints the device path on the first\n"
        "line of its output, then answers requests until SIGINT or SIGTERM. With --rig-modbus the\n"
        "test rig is served over Modbus TCP too, and the next line reads \"rig-modbus: 127.0.0.1:PORT\".\n"
        "With --meters N, N meters in series on the one rig: N device paths, one a line, first to last."));
    p.addHelpOption();
    p.addVersionOption();
    p.addOptions({
        {QStringLiteral("seed"), QStringLiteral("Seed of the simulated physics (default 1); meter K of several has seed + 1000·(K-1)."),
         QStringLiteral("N")},
        {QStringLiteral("meters"),
         QStringLiteral("Serve N meters (1-8, default 1) in series on one rig, each on its own terminal and each off "
                        "in its own way; the terminal options (--silent, --hangup-after, ...) apply to each."),
         QStringLiteral("N")},
        {QStringLiteral("unplug-meter"),
         QStringLiteral("Close meter K's terminal (1: the first) for good, SECONDS simulated seconds in (repeatable)."),
         QStringLiteral("K@SECONDS")},
        {QStringLiteral("flow"), QStringLiteral("Fixed true mass flow in kg/h (default: step through the 13 calibration flows)."),
         QStringLiteral("KGH")},
        {QStringLiteral("step-seconds"), QStringLiteral("Time on each calibration flow (default 20)."), QStringLiteral("S")},
        {QStringLiteral("calibrated"),
         QStringLiteral("Start with a thermometer, zero and flow table that match the physics (default: each a little off).")},
        {QStringLiteral("time-scale"), QStringLiteral("Simulated seconds per second (default 1); the rig runs on the same clock."), QStringLiteral("X")},
        {QStringLiteral("byte-timing"), QStringLiteral("Deliver answers at 19200-baud byte timing.")},
        {QStringLiteral("chunk"), QStringLiteral("Deliver answers in pieces of N bytes."), QStringLiteral("N")},
        {QStringLiteral("chunk-gap"), QStringLiteral("Pause between pieces in ms (default 3)."), QStringLiteral("MS")},
        {QStringLiteral("glue"), QStringLiteral("Hold each answer and send it together with the next one.")},
        {QStringLiteral("noise"), QStringLiteral("Send N random bytes (never 0x1F) before each answer."), QStringLiteral("N")},
        {QStringLiteral("silent"), QStringLiteral("Receive requests but never answer.")},
        {QStringLiteral("hangup-after"), QStringLiteral("Close the terminal once, after answering N requests."),
         QStringLiteral("N")},
        {QStringLiteral("return-after"), QStringLiteral("After a hang-up, serve a fresh terminal after MS milliseconds."),
         QStringLiteral("MS")},
        {QStringLiteral("ignore-writes"),
         QStringLiteral("Take writes to parameters FIRST..LAST and drop them, as a write-protected meter."),
         QStringLiteral("FIRST-LAST")},
        {QStringLiteral("drop-command"),
         QStringLiteral("Take command N (e.g. 24, the recalculation) and drop it, as a meter that lacks it (repeatable)."),
         QStringLiteral("N")},
        {QStringLiteral("link"),
         QStringLiteral("Keep a symlink at PATH pointing at the current terminal; with several meters PATH-K for meter K."),
         QStringLiteral("PATH")},
        {QStringLiteral("rig-modbus"),
         QStringLiteral("Serve the test rig over Modbus TCP on 127.0.0.1:PORT, unit 1 (0: a free port): input registers "
                        "0-1 the reference meter, 2-3 the rig's flow, 4-5 the reference thermometer (°C), holding "
                        "registers 0-1 the flow set point, 2-3 the fluid temperature set point (°C); floats high "
                        "word first."),
         QStringLiteral("PORT")},
        {QStringLiteral("rig-lag"),
         QStringLiteral("Time constant in simulated seconds with which the rig follows a set point (default 3)."),
         QStringLiteral("S")},
        {QStringLiteral("rig-noise"),
         QStringLiteral("Process noise of the rig's flow in per cent of the flow (default 0.2)."),
         QStringLiteral("PERCENT")},
        {QStringLiteral("rig-busy-after"),
         QStringLiteral("After the Nth flow set-point write, answer the next rig read with exception 6 (busy), once."),
         QStringLiteral("N")},
        {QStringLiteral("rig-drop-after"),
         QStringLiteral("After the Nth flow set-point write, drop every rig connection at the next read and listen "
                        "again after --rig-drop-ms (default 300), once."),
         QStringLiteral("N")},
        {QStringLiteral("rig-drop-ms"), QStringLiteral("How long a dropped rig stays away."), QStringLiteral("MS")},
        {QStringLiteral("rig-stuck-temperature-after"),
         QStringLiteral("After N reads of the reference thermometer, keep reading the value of the Nth."),
         QStringLiteral("N")},
    });
    p.process(app);

    SimOptions o;
    int seed = 1;
    if (!intOption(p, QStringLiteral("seed"), 0, &seed) || !intOption(p, QStringLiteral("step-seconds"), 1, &o.physics.stepSeconds)
        || !intOption(p, QStringLiteral("chunk"), 1, &o.chunkBytes) || !intOption(p, QStringLiteral("chunk-gap"), 0, &o.chunkGapMs)
        || !intOption(p, QStringLiteral("noise"), 0, &o.noiseBytes)
        || !intOption(p, QStringLiteral("hangup-after"), 1, &o.hangupAfterFrames)
        || !intOption(p, QStringLiteral("return-after"), 0, &o.returnAfterMs))
        return 2;
    o.physics.seed = quint32(seed);
    int meterCount = 1;
    if (!intOption(p, QStringLiteral("meters"), 1, &meterCount))
        return 2;
    if (meterCount > 8) {
        std::fprintf(stderr, "kestro-meter-sim: invalid value for --meters: %d\n", meterCount);
        return 2;
    }
    std::vector<Unplug> unplugs;
    for (const QString &value : p.values(QStringLiteral("unplug-meter"))) {
        if (!unplugOption(value, meterCount, &unplugs.emplace_back()))
            return 2;
    }
    if (p.isSet(QStringLiteral("flow"))) {
        bool ok = false;
        const double flow = p.value(QStringLiteral("flow")).toDouble(&ok);
        if (!ok) {
            std::fprintf(stderr, "kestro-meter-sim: invalid value for --flow: %s\n", qPrintable(p.value(QStringLiteral("flow"))));
            return 2;
        }
        o.physics.fixedFlow = flow;
    }
    if (p.isSet(QStringLiteral("time-scale"))) {
        bool ok = false;
        o.timeScale = p.value(QStringLiteral("time-scale")).toDouble(&ok);
        if (!ok || !(o.timeScale > 0)) {
            std::fprintf(stderr, "kestro-meter-sim: invalid value for --time-scale: %s\n",
                         qPrintable(p.value(QStringLiteral("time-scale"))));
            return 2;
        }
    }
    int rigPort = -1;
    RigModbusServer::Faults rigFaults;
    if (!intOption(p, QStringLiteral("rig-busy-after"), 1, &rigFaults.busyAfterWrite)
        || !intOption(p, QStringLiteral("rig-drop-after"), 1, &rigFaults.dropAfterWrite)
        || !intOption(p, QStringLiteral("rig-drop-ms"), 0, &rigFaults.dropMs)
        || !intOption(p, QStringLiteral("rig-stuck-temperature-after"), 1, &rigFaults.stuckTemperatureAfterReads))
        return 2;
    if (!doubleOption(p, QStringLiteral("rig-lag"), 0.0, &o.physics.rigLagSeconds)
        || !doubleOption(p, QStringLiteral("rig-noise"), 0.0, &o.physics.rigNoisePercent)
        || (p.isSet(QStringLiteral("rig-modbus")) && !intOption(p, QStringLiteral("rig-modbus"), 0, &rigPort)))
        return 2;
    if (rigPort > 65535) {
        std::fprintf(stderr, "kestro-meter-sim: invalid value for --rig-modbus: %d\n", rigPort);
        return 2;
    }
    o.physics.calibrated = p.isSet(QStringLiteral("calibrated"));
    o.byteTiming = p.isSet(QStringLiteral("byte-timing"));
    o.glue = p.isSet(QStringLiteral("glue"));
    o.silent = p.isSet(QStringLiteral("silent"));
    o.linkPath = p.value(QStringLiteral("link"));

    int firstIgnored = 1, lastIgnored = 0;
    if (p.isSet(QStringLiteral("ignore-writes"))) {
        const QStringList bounds = p.value(QStringLiteral("ignore-writes")).split(QLatin1Char('-'));
        bool okFirst = false, okLast = false;
        firstIgnored = bounds.value(0).toInt(&okFirst), lastIgnored = bounds.value(1).toInt(&okLast);
        if (bounds.size() != 2 || !okFirst || !okLast || firstIgnored < 1 || lastIgnored < firstIgnored) {
            std::fprintf(stderr, "kestro-meter-sim: invalid value for --ignore-writes: %s\n",
                         qPrintable(p.value(QStringLiteral("ignore-writes"))));
            return 2;
        }
    }
    QList<quint16> dropped;
    for (const QString &value : p.values(QStringLiteral("drop-command"))) {
        bool ok = false;
        const uint command = value.toUInt(&ok);
        if (!ok || command > 0xFFFF) {
            std::fprintf(stderr, "kestro-meter-sim: invalid value for --drop-command: %s\n", qPrintable(value));
            return 2;
        }
        dropped << quint16(command);
    }

    // One rig; the meters on it in order, each with its own seed and works errors.
    RigPhysics line(o.physics);
    std::vector<std::unique_ptr<MeterServer>> servers;
    for (int k = 0; k < meterCount; ++k) {
        SimOptions meter = o;
        meter.physics = meterInLine(o.physics, k);
        if (meterCount > 1 && !o.linkPath.isEmpty())
            meter.linkPath = o.linkPath + QStringLiteral("-%1").arg(k + 1);
        auto &server = servers.emplace_back(std::make_unique<MeterServer>(meter, line));
        if (p.isSet(QStringLiteral("ignore-writes")))
            server->model().setIgnoredWrites(firstIgnored, lastIgnored);
        server->model().setDroppedCommands(dropped);
    }
    QString error;
    if (!quitOnTerminationSignals(&app)) {
        std::fprintf(stderr, "kestro-meter-sim: cannot watch signals\n");
        return 1;
    }
    for (auto &server : servers) {
        server->followClockOf(*servers.front());
        if (!server->start(&error)) {
            std::fprintf(stderr, "kestro-meter-sim: %s\n", qPrintable(error));
            return 1;
        }
    }
    // Made after the terminals so that the device paths come first.
    RigModbusServer rig(servers.front().get());
    rig.setFaults(rigFaults);
    if (rigPort >= 0 && !rig.listen(quint16(rigPort), &error)) {
        std::fprintf(stderr, "kestro-meter-sim: cannot serve the rig: %s\n", qPrintable(error));
        return 1;
    }
    for (const auto &server : servers)
        std::printf("%s\n", qPrintable(server->devicePath()));
    if (rigPort >= 0)
        std::printf("rig-modbus: 127.0.0.1:%u\n", unsigned(rig.port()));
    std::fflush(stdout);
    for (int k = 0; k < meterCount; ++k) {
        // One meter speaks as before; of several, each names itself.
        const QByteArray who = meterCount > 1 ? QByteArray("meter ") + QByteArray::number(k + 1) + ": " : QByteArray();
        QObject::connect(servers[size_t(k)].get(), &MeterServer::hungUpSignal, &app, [who] {
            std::fprintf(stderr, "kestro-meter-sim: %shung up\n", who.constData());
        });
        QObject::connect(servers[size_t(k)].get(), &MeterServer::servingAgain, &app, [who](const QString &path) {
            std::fprintf(stderr, "kestro-meter-sim: %sserving again on %s\n", who.constData(), qPrintable(path));
        });
    }
    for (const Unplug &u : unplugs) {
        MeterServer *server = servers[size_t(u.position - 1)].get();
        QTimer::singleShot(int(std::min(u.seconds / o.timeScale * 1000.0, 2e9)), server, [server, u] {
            server->stop();
            std::fprintf(stderr, "kestro-meter-sim: meter %d unplugged\n", u.position);
        });
    }
    const int rc = app.exec();
    for (auto &server : servers)
        server->stop();
    return rc;
}
