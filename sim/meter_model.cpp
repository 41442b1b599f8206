#include "sim/meter_model.h"

#include "protocol/protokol_usb.h"
#include "sim/calibration_fit.h"
#include "sim/rig_physics.h"

#include <bit>
#include <cstring>

namespace {
constexpr double RestartSeconds = 1.0;

quint32 floatBits(float v)
{
    return std::bit_cast<quint32>(v);
}

float bitsFloat(quint32 b)
{
    return std::bit_cast<float>(b);
}

bool inSpace(int addr, int count, int size)
{
    return addr >= 1 && count >= 1 && addr + count - 1 <= size;
}
} // namespace

MeterModel::MeterModel(const MeterPhysicsOptions &options)
    : m_options(options), m_ownRig(std::make_unique<RigPhysics>(options)), m_rig(m_ownRig.get()), m_rng(options.seed)
{
    join();
}

MeterModel::MeterModel(const MeterPhysicsOptions &options, RigPhysics &rig)
    : m_options(options), m_rig(&rig), m_rng(options.seed)
{
    join();
}

MeterModel::~MeterModel()
{
    m_rig->detach(this);
}

void MeterModel::join()
{
    if (m_options.stepSeconds < 1)
        m_options.stepSeconds = 1;
    std::uniform_real_distribution<double> phase(0.0, 6.283185307179586);
    for (double &p : m_phase)
        p = phase(m_rng);
    seedParameters();
    recalculate();
    m_tubeTemp = m_rig->fluidTemperature(m_rig->now());
    m_rig->attach(this);
    sample(m_rig->now());
}

quint16 MeterModel::dataWord(int reg) const
{
    return reg >= 1 && reg <= DataRegisters ? m_data[reg] : 0;
}

quint16 MeterModel::paramWord(int reg) const
{
    return reg >= 1 && reg <= ParamRegisters ? m_params[reg] : 0;
}

// A float keeps its low half in the first register.
float MeterModel::dataFloat(int reg) const
{
    return bitsFloat(quint32(dataWord(reg)) | quint32(dataWord(reg + 1)) << 16);
}

float MeterModel::paramFloat(int reg) const
{
    return bitsFloat(quint32(paramWord(reg)) | quint32(paramWord(reg + 1)) << 16);
}

void MeterModel::setDataFloat(int reg, float v)
{
    if (reg < 1 || reg + 1 > DataRegisters)
        return;
    m_data[reg] = quint16(floatBits(v) & 0xFFFF);
    m_data[reg + 1] = quint16(floatBits(v) >> 16);
}

void MeterModel::setParamFloat(int reg, float v)
{
    if (reg < 1 || reg + 1 > ParamRegisters)
        return;
    m_params[reg] = quint16(floatBits(v) & 0xFFFF);
    m_params[reg + 1] = quint16(floatBits(v) >> 16);
}

void MeterModel::setParamWord(int reg, quint16 v)
{
    if (reg >= 1 && reg <= ParamRegisters)
        m_params[reg] = v;
}

void MeterModel::setDataWord(int reg, quint16 v)
{
    if (reg >= 1 && reg <= DataRegisters)
        m_data[reg] = v;
}

bool MeterModel::isRestarting() const
{
    return now() < m_restartUntil;
}

QByteArray MeterModel::handleRequest(const QByteArray &frame)
{
    if (isRestarting() || frame.size() < 7)
        return {};
    const auto byte = [&frame](int i) { return quint8(frame.at(i)); };
    if (byte(0) != Proto::StartByte || byte(frame.size() - 1) != Proto::EndByte)
        return {};
    const quint8 function = byte(1);
    const int addr = byte(2) << 8 | byte(3);
    const int count = byte(4) << 8 | byte(5);

    if (function == Proto::FnReadData || function == Proto::FnReadParams) {
        const int size = function == Proto::FnReadData ? DataRegisters : ParamRegisters;
        if (frame.size() != 7 || !inSpace(addr, count, size))
            return {};
        return answerRead(function, addr, count);
    }
    if (function != Proto::FnWriteParams || !inSpace(addr, count, ParamRegisters)
        || frame.size() != 7 + 2 * count)
        return {};
    // Write data are little-endian memory images: each register low byte first.
    for (int i = 0; i < count; ++i) {
        if (addr + i < m_ignoreFirst || addr + i > m_ignoreLast)
            m_params[addr + i] = quint16(byte(6 + 2 * i) | byte(7 + 2 * i) << 8);
    }
    if (addr <= Proto::CommandRegister && Proto::CommandRegister <= addr + count - 1
        && !m_droppedCommands.contains(m_params[Proto::CommandRegister]))
        runCommand(m_params[Proto::CommandRegister]);
    return {};
}

QByteArray MeterModel::answerRead(quint8 function, int addr, int count) const
{
    QByteArray out;
    out.reserve(7 + 2 * count);
    out.append(char(Proto::StartByte));
    out.append(char(function));
    out.append(char(addr >> 8));
    out.append(char(addr & 0xFF));
    out.append(char(count >> 8));
    out.append(char(count & 0xFF));
    // Answers carry each register most significant byte first.
    for (int r = addr; r < addr + count; ++r) {
        const quint16 w = function == Proto::FnReadData ? m_data[r] : m_params[r];
        out.append(char(w >> 8));
        out.append(char(w & 0xFF));
    }
    out.append(char(Proto::EndByte));
    return out;
}

void MeterModel::runCommand(quint16 command)
{
    m_lastCommand = command;
    switch (command) {
    case Proto::CmdRestart:
        m_avg = {};
        m_restartUntil = now() + RestartSeconds;
        break;
    case Proto::CmdRecalculate:
        recalculate();
        break;
    case Proto::CmdAverageReset:
        m_avg = Averages{m_avg.running, 0.0, 0.0, 0.0, 0.0, 0};
        break;
    case Proto::CmdAverageStart:
        m_avg.running = true;
        break;
    case Proto::CmdAverageStop:
        m_avg.running = false;
        break;
    default:
        break; // unknown commands are ignored, as the meter does
    }
    refreshDataRegisters();
}

// Each calculation keeps the old coefficients when its points cannot define
// new ones (equal abscissae, NaN), so one bad entry does not wreck the readings.
void MeterModel::recalculate()
{
    if (const auto thermo = lineThrough(paramFloat(7), paramFloat(5), paramFloat(11), paramFloat(9))) {
        setDataFloat(16, float(thermo->a));
        setDataFloat(18, float(thermo->b));
    }
    if (const auto zero = lineThrough(paramFloat(13), paramFloat(15), paramFloat(17), paramFloat(19))) {
        setDataFloat(32, float(zero->a));
        setDataFloat(34, float(zero->b));
    }
    std::vector<double> dt, flow;
    for (int n = 0; n < 13; ++n) {
        flow.push_back(paramFloat(23 + 2 * n));
        dt.push_back(paramFloat(49 + 2 * n));
    }
    if (const auto cubic = fitCubic(dt, flow))
        for (int i = 0; i < 4; ++i)
            setDataFloat(36 + 2 * i, float((*cubic)[i]));
}
