#pragma once
// The simulated meter: two spaces of 16-bit registers and plausible, seeded physics.
// Knows the request frames and answers like the meter; knows nothing of ports.
#include <QByteArray>
#include <QVector>
#include <array>
#include <optional>
#include <random>

struct MeterPhysicsOptions
{
    quint32 seed = 1;
    // Fixed true mass flow (kg/h); when unset the rig steps through the 13
    // calibration flows (-100 % .. +100 % of the maximum flow).
    std::optional<double> fixedFlow;
    int stepSeconds = 20; // time on each calibration flow
};

class MeterModel
{
public:
    static constexpr int DataRegisters = 64;
    static constexpr int ParamRegisters = 128;

    explicit MeterModel(const MeterPhysicsOptions &options = {});

    // Advances the physics to t (seconds since start, monotonic).
    void advanceTo(double seconds);
    // Handles one complete request frame; returns the answer (empty for writes
    // and for requests outside the register spaces).
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

    double trueFlow() const { return m_trueFlow; }
    int lastCommand() const { return m_lastCommand; }

private:
    void refreshDataRegisters();
    void runCommand(quint16 command);

    MeterPhysicsOptions m_options;
    std::mt19937 m_rng;
    std::array<quint16, DataRegisters> m_data{};
    std::array<quint16, ParamRegisters> m_params{};
    double m_now = 0.0;
    double m_trueFlow = 0.0;
    double m_restartUntil = -1.0;
    int m_lastCommand = 0;
    // further physics state lives in the implementation
    struct Averages
    {
        bool running = false;
        double startedAt = 0.0;
        double sumDt = 0.0;
        double sumFlow = 0.0;
        long samples = 0;
    } m_avg;
    double m_lastSampleAt = 0.0;
};
