// The run's write of a two-point calibration (the thermometer's, the zero's) through the
// tab's own save: a fresh read, a snapshot, the four points, their read-back, command 24
// and the coefficients read back. The check at the first temperature follows from the
// coefficients the meter computed; the one at the second is measured.
#include "procedure/calibration_run_impl.h"
#include "protocol/protokol_usb.h"

using namespace RunDetail;

namespace {
std::optional<std::array<float, 2>> Coefficients(const TRegisterImage &image, quint16 reg)
{
    const auto a = ImageFloat(image, RegisterSpace::Data, reg);
    const auto b = ImageFloat(image, RegisterSpace::Data, reg + 2);
    if (!a || !b)
        return std::nullopt;
    return std::array<float, 2>{*a, *b};
}

std::optional<std::array<float, 4>> Points(const TRegisterImage &image, quint16 reg)
{
    std::array<float, 4> p{};
    for (int i = 0; i < 4; ++i) {
        const auto v = ImageFloat(image, RegisterSpace::Params, reg + 2 * i);
        if (!v)
            return std::nullopt;
        p[size_t(i)] = *v;
    }
    return p;
}
} // namespace

TwoPointAdjustment &TCalibrationRun::Impl::adjustmentOf(CalibrationArea area)
{
    std::optional<TwoPointAdjustment> &a =
        area == CalibrationArea::Thermometer ? q.m_record.adjustments.thermometer : q.m_record.adjustments.zero;
    if (!a)
        a = TwoPointAdjustment{};
    return *a;
}

void TCalibrationRun::Impl::startTwoPointWrite(CalibrationArea area)
{
    writeArea = area;
    twoPoints.reset();
    const RunPhase taken = area == CalibrationArea::Thermometer ? RunPhase::Thermometer : RunPhase::Zero;
    QList<RunPoint> measured = q.m_record.pointsOf(taken);
    if (measured.size() != 2) {
        end(RunEnd::Failed, QStringLiteral("Точек «%1» %2 из двух: калибровка не записывается")
                                .arg(PhaseTitle(taken))
                                .arg(measured.size()));
        return;
    }
    // Register order: the lower temperature first.
    std::sort(measured.begin(), measured.end(),
              [](const RunPoint &a, const RunPoint &b) { return a.temperature->setpoint < b.temperature->setpoint; });
    const TRegisterImage &image = dm.registerImage();
    std::array<float, 4> values{};
    for (int i = 0; i < 2; ++i) {
        const PointTemperature &t = *measured[i].temperature;
        if (area == CalibrationArea::Thermometer) {
            values[size_t(2 * i)] = float(t.referenceTemperature);
            values[size_t(2 * i + 1)] = float(t.adcCode.value_or(NAN));
        } else {
            // At the temperature the meter reads now for that ADC code: a zero point
            // taken before the thermometer was written goes in on its new scale.
            const auto c = Coefficients(image, ThermometerCoefficientsReg);
            const double adc = t.adcCode.value_or(NAN);
            values[size_t(2 * i)] = c ? float(double((*c)[0]) + double((*c)[1]) * adc) : float(NAN);
            values[size_t(2 * i + 1)] = float(t.deltaT.value_or(NAN));
        }
    }
    for (float v : values) {
        if (!std::isfinite(v)) {
            end(RunEnd::Failed, QStringLiteral("Точки «%1» неполны: калибровка не записывается").arg(PhaseTitle(taken)));
            return;
        }
    }
    twoPoints = values;
    stage = Stage::AwaitConfirm;
    if (!setState(RunState::AwaitingWrite, QStringLiteral("%1: точки готовы к записи").arg(QString::fromUtf8(AreaSpecOf(area).title))))
        return;
    emit q.twoPointReady(area, values);
    if (opt.writeWithoutConfirmation && stage == Stage::AwaitConfirm)
        startWrite();
}

void TCalibrationRun::Impl::writeTwoPoint()
{
    const CalibrationArea area = writeArea;
    const TwoPointSave::Layout &at = TwoPointSave::LayoutOf(area);
    writeSnapshotId = records.keepBefore(
        area == CalibrationArea::Thermometer ? SnapshotReason::BeforeThermometerSave : SnapshotReason::BeforeZeroSave,
        {area});
    if (writeSnapshotId == 0) {
        end(RunEnd::Failed, storeFault(QStringLiteral("Снимок перед записью «%1»").arg(QString::fromUtf8(AreaSpecOf(area).title))));
        return;
    }
    TwoPointAdjustment &a = adjustmentOf(area);
    const TRegisterImage &image = dm.registerImage();
    // A retake after a lost link keeps what the meter held before the run's first write.
    if (!a.pointsWritten) {
        a.pointsBefore = Points(image, at.pointsRegister);
        a.coefficientsBefore = Coefficients(image, at.coefficientsRegister);
    }
    a.pointsWritten = *twoPoints;
    a.written = false;
    if (!keepHeader()) {
        end(RunEnd::Failed, storeFault(QStringLiteral("Начало записи «%1»").arg(QString::fromUtf8(AreaSpecOf(area).title))));
        return;
    }
    stage = Stage::WriteFrames;
    if (!setState(RunState::Writing, QStringLiteral("запись: %1").arg(QString::fromUtf8(AreaSpecOf(area).title))))
        return;
    tableSent = true;
    if (send([this, area] {
            TwoPointSave::Send(dm, area, *twoPoints);
            TwoPointSave::ExpectReadBack(&records, writeSnapshotId, area, *twoPoints);
            dm.sendFrame(TwoPointSave::PointsReadFrame(area), FrameKind::CountedRead);
        }))
        tableCheckTimer.start(TableCheckMs);
}

void TCalibrationRun::Impl::twoPointRecalculated()
{
    const CalibrationArea area = writeArea;
    const TwoPointSave::Layout &at = TwoPointSave::LayoutOf(area);
    TwoPointAdjustment &a = adjustmentOf(area);
    a.coefficientsAfter = Coefficients(dm.registerImage(), at.coefficientsRegister);
    stage = Stage::None;
    if (abortRequested) {
        keepHeader();
        end(abortAs, abortReason);
        return;
    }
    // The first temperature's check: what the meter reads now from what it measured there.
    const RunPhase taken = area == CalibrationArea::Thermometer ? RunPhase::Thermometer : RunPhase::Zero;
    const Planned &plan = planned();
    RunPoint first;
    for (const RunPoint &p : q.m_record.pointsOf(taken)) {
        if (p.temperature && p.temperature->setpoint == plan.setpoint)
            first = p;
    }
    if (!first.temperature || !a.coefficientsAfter) {
        end(RunEnd::Failed, QStringLiteral("Коэффициенты «%1» не прочитаны после пересчёта").arg(QString::fromUtf8(AreaSpecOf(area).title)));
        return;
    }
    const double ca = double((*a.coefficientsAfter)[0]), cb = double((*a.coefficientsAfter)[1]);
    const std::array<float, 4> &w = *twoPoints;
    RunPoint check = first;
    check.phase = plan.phase;
    check.index = plan.index;
    check.startedUtc = QDateTime::currentDateTimeUtc();
    PointTemperature &t = *check.temperature;
    t.computed = true;
    if (area == CalibrationArea::Thermometer) {
        t.tubeTemperature = ca + cb * t.adcCode.value_or(NAN);
        t.error = t.tubeTemperature - t.referenceTemperature;
        t.fits = std::abs(*t.error) <= opt.plan.thermometerCheckTolerance;
    } else {
        const double temperature = double(w[0]);
        const double remaining = double(w[1]) - (ca + cb * temperature);
        t.tubeTemperature = temperature;
        t.deltaT = remaining;
        t.error = remaining;
        t.fits = std::abs(remaining) <= opt.plan.zeroLimitNs;
    }
    if (!keepHeader()) {
        enterPaused(storeFault(QStringLiteral("Записанная калибровка «%1»").arg(QString::fromUtf8(AreaSpecOf(area).title))));
        return;
    }
    point = check;
    if (!keepPoint(point))
        return;
    if (current == points.size())
        readAfter();
    else
        startPoint();
}
