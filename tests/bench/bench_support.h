#pragma once
// Pieces the benchmarks share: percentiles, CPU time, resident memory and a probe
// that measures how late the event loop serves a 1 ms timer.
#include "app/demo_meter.h"
#include "link/candidate_ports.h"
#include "link/dm1.h"
#include "ui/main/form_main.h"
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

inline double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p / 100.0 * double(v.size() - 1) + 0.5));
    return v[i];
}

inline double Maximum(const std::vector<double> &v)
{
    return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
}

inline double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Resident set size in MiB (Linux).
inline double ResidentMiB()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// How late a 1 ms timer fires, in ms, for as long as the probe lives.
class StallProbe
{
public:
    StallProbe()
    {
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_stalls.push_back(std::max(0.0, double(now - m_last) / 1e6 - 1.0));
            m_last = now;
        });
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    const std::vector<double> &stalls() const { return m_stalls; }
    void print(const char *label) const
    {
        std::printf("%s p50 %.3f  p99 %.3f  max %.3f  (%zu probes)\n", label, Percentile(m_stalls, 50),
                    Percentile(m_stalls, 99), Maximum(m_stalls), m_stalls.size());
    }

private:
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    QTimer m_timer;
    std::vector<double> m_stalls;
};

// The simulated meter at 19200-baud byte timing on its own thread, a data module
// whose only candidate is its port, and the main window connected to it.
struct BenchRig
{
    BenchRig() : meter(timedOptions()) {}
    static SimOptions timedOptions()
    {
        SimOptions sim;
        sim.byteTiming = true;
        return sim;
    }
    // False, with the reason on standard error, when the meter or the port cannot start.
    bool start()
    {
        QString error;
        if (!meter.start(&error)) {
            std::fprintf(stderr, "cannot start the simulated meter: %s\n", qPrintable(error));
            return false;
        }
        dm = std::make_unique<TDM_1>(
            std::make_unique<CandidatePorts>(QList<VirtualPort>{{meter.devicePath(), QString()}}, nullptr));
        window = std::make_unique<TForm_Main>(*dm);
        window->show();
        window->ToolButton_PortClick();
        if (!dm->isPortOpen()) {
            std::fprintf(stderr, "the port did not open: %s\n", qPrintable(dm->USBWork().FStatusString));
            return false;
        }
        return true;
    }
    ~BenchRig()
    {
        window.reset();
        dm.reset();
        meter.stop();
    }

    DemoMeter meter;
    std::unique_ptr<TDM_1> dm;
    std::unique_ptr<TForm_Main> window;
};
