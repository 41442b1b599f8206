#pragma once
// The simulated meter: two spaces of 16-bit registers and plausible, seeded physics.
// Knows the request frames and answers like the meter; knows nothing of ports.
#include <QByteArray>
#include <QList>
#include <QVector>
#include <array>
#include <optional>
#include <memory>
#include <random>

class RigPhysics;

// How the works left a meter that is not calibrated (see seedParameters): every stored
// Δt of the flow table flowGain high with a bow of flowBowNs towards full flow (the
// meter then reads about flowGain low), both zero points zeroNs high, and the bath
// thermometer reading low by these (°C) when the thermometer points were taken.
struct WorksErrors
{
    double flowGain = 0.04;
    double flowBowNs = 1.5;
    double zeroNs = 0.5;
    double thermometerAt20 = 0.4;
    double thermometerAt60 = 0.7;
    // Another meter's errors, of the same kind and size, drawn from seed.
    static WorksErrors drawn(quint32 seed);
};

struct MeterPhysicsOptions
{
    quint32 seed = 1;
    // Fixed true mass flow (kg/h); when unset the rig steps through the 13
    // calibration flows (-100 % .. +100 % of the maximum flow).
    std::optional<double> fixedFlow;
    int stepSeconds = 20; // time on each calibration flow
    // False (the default): the meter leaves the works mis-calibrated, its stored
    // thermometer points, zero points and flow table off its own physics (see
    // seedParameters); true: they match, as after a careful calibration.
    bool calibrated = false;
    // The rig driven by set points (setRigSetpoint): its flow follows with this
    // first-order lag (simulated seconds; 0 follows at once) ...
    double rigLagSeconds = 3.0;
    // ... and wanders around it by this much (standard deviation, % of the flow).
    double rigNoisePercent = 0.2;
    // The reference meter's own scatter: % of its reading plus an absolute part (kg/h),
    // so that it does not read an exact zero at no flow.
    double referenceNoisePercent = 0.05;
    double referenceNoiseAbsolute = 0.01;
    WorksErrors works{}; // used when not calibrated
};

class MeterModel
{
public:
    static constexpr int DataRegisters = 64;
    static constexpr int ParamRegisters = 128;

    // A meter on a rig of its own, made from the options' rig part.
    explicit MeterModel(const MeterPhysicsOptions &options = {});
    // A meter in series on a shared rig, which must outlive it; the options' rig part
    // is the rig's business then. The meter joins the rig's line at its end.
    MeterModel(const MeterPhysicsOptions &options, RigPhysics &rig);
    ~MeterModel();
    MeterModel(const MeterModel &) = delete;
    MeterModel &operator=(const MeterModel &) = delete;

    // The rig the meter sits on (its own or the shared one).
    RigPhysics &rig() { return *m_rig; }
    const RigPhysics &rig() const { return *m_rig; }
    const MeterPhysicsOptions &options() const { return m_options; }

    // Advances the physics to t (seconds since start, monotonic): the rig's, and so
    // every meter's on it.
    void advanceTo(double seconds);
    // Handles one complete request frame; returns the answer (empty for writes,
    // for malformed frames and for requests outside the register spaces).
    // Registers count from 1: data 1..DataRegisters, parameters 1..ParamRegisters.
    QByteArray handleRequest(const QByteArray &frame);
    // While restarting after command 11 the meter does not answer.
    bool isRestarting() const;

    // Register access (for tests and seeding).
    quint16 dataWord(int reg) const;
    quint16 paramWord(int reg) const;
    float dataFloat(int reg) const;
    float paramFloat(int reg) const;
    void setDataFloat(int reg, float v);
    void setParamFloat(int reg, float v);
    void setParamWord(int reg, quint16 v);
    void setDataWord(int reg, quint16 v);

    // Writes to parameters first..last are taken and then dropped, as by a meter
    // whose calibration is write-protected; first > last takes every write.
    void setIgnoredWrites(int first, int last) { m_ignoreFirst = first, m_ignoreLast = last; }
    // Commands written to the command register that the meter takes and then drops
    // (as one whose firmware lacks them), for instance command 24.
    void setDroppedCommands(const QList<quint16> &commands) { m_droppedCommands = commands; }

    double trueFlow() const;
    // The rig: a fixed flow to run (kg/h), or none to step through the calibration flows.
    // A fixed flow is held exactly and at once, for checks of the meter's own arithmetic.
    void setRigFlow(std::optional<double> flow);
    // The rig as a calibration drives it: asked for a flow, it gets there with the
    // options' lag and runs it with their process noise. Ends a fixed flow or the stepping.
    // A set point that is not finite or beyond RigSetpointLimit is refused (false) and
    // leaves the rig as it was.
    bool setRigSetpoint(double kgPerHour);
    static bool acceptsRigSetpoint(double kgPerHour);
    // What the reference meter shows at this instant: the true flow with its own noise.
    double instantReference() const;
    // What the rig's reference meter reads: the true flow averaged over the meter's
    // present averaging, or the true flow while the meter does not average.
    double referenceFlow() const;
    // The flow the rig runs now: the fixed flow, or the calibration flow of this step.
    double rigSetpoint() const;
    // The rig's fluid temperature (°C): held at a set value, or none for the room's
    // slow drift. The tube, and so every reading of the meter, follows the fluid with
    // a first-order lag.
    void setFluidTemperature(std::optional<double> celsius);
    std::optional<double> fluidSetpoint() const;
    // What the rig's reference thermometer in the fluid reads.
    double referenceTemperature() const;
    double tubeTemperature() const { return m_tubeTemp; }
    int lastCommand() const { return m_lastCommand; }
    double now() const;

    // The meter measures ten times a second; averages advance per cycle.
    static constexpr double CyclePeriod = 0.1;
    // The test rig's maximum flow (kg/h), also the seeded Q Max.
    static constexpr double RigMaxFlow = 1000.0;
    // The rig's pump runs up to a fifth past the meter's maximum flow, either way.
    static constexpr double RigSetpointLimit = 1.2 * RigMaxFlow;
    // The thirteen calibration points in percent of the maximum flow.
    static constexpr std::array<double, 13> FlowPointsPercent{-100, -75, -45, -25, -10, -5, 0,
                                                              5,    10,  25,  45,  75,  100};

private:
    friend class RigPhysics; // runs the measurement cycles in step with its own

    struct Averages
    {
        bool running = false;
        double seconds = 0.0; // time spent averaging
        double sumDt = 0.0;
        double sumFlow = 0.0;
        double sumTrueFlow = 0.0;
        long samples = 0;
    };

    void join(); // the constructors' common part
    void seedParameters();
    void sample(double t);
    void refreshDataRegisters();
    void runCommand(quint16 command);
    void recalculate();
    QByteArray answerRead(quint8 function, int addr, int count) const;
    // Time the rig skipped over without cycles.
    void skip(double seconds);
    double noise(double sigma);

    MeterPhysicsOptions m_options;
    std::unique_ptr<RigPhysics> m_ownRig; // none on a shared rig
    RigPhysics *m_rig = nullptr;
    std::mt19937 m_rng;
    std::normal_distribution<double> m_gauss{0.0, 1.0};
    // Indexed by register number; index 0 is unused (registers count from 1).
    std::array<quint16, DataRegisters + 1> m_data{};
    std::array<quint16, ParamRegisters + 1> m_params{};
    double m_tubeTemp = 0.0;
    double m_restartUntil = -1.0;
    int m_lastCommand = 0;
    int m_ignoreFirst = 1, m_ignoreLast = 0;
    QList<quint16> m_droppedCommands;
    Averages m_avg;
    // Seeded phases of the slow drifts; the first two are the rig's room (drawn alike
    // there from the same seed), the third the meter's electronics.
    std::array<double, 3> m_phase{};

    // One measurement cycle's values, before they are written to registers.
    struct Reading
    {
        double tubeTemp = 0.0, mcuTemp = 0.0, adcCode = 0.0, reportedTemp = 0.0;
        double rawDt = 0.0, dt = 0.0, massFlow = 0.0, density = 0.0;
        double frequency = 0.0, gain = 0.0;
    } m_reading;
};
