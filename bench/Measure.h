#pragma once
// What the measuring programs read off the machine and how they print it: the mean length
// of a 1 ms sleep, this process's CPU time and peak resident memory, percentiles, the UI
// thread's event-loop latency, and one table row per figure.

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <vector>

namespace ql::bench {

// Mean wall length, in ms, of the loader's own 1 ms sleep, over count sleeps.
double MeanSleepMs(uint32_t sleepMs, int count);
double ProcessCpuSeconds();
double PeakResidentMiB();
// Starts the peak anew from the present resident size (/proc/self/clear_refs, "5"), so
// that the next PeakResidentMiB is the peak of what ran since. False where the system
// does not offer it; the peak then covers the process's whole life.
bool ResetPeakResident();
// Milliseconds of the system's monotonic clock, as the loader's diagnostic lines give them.
qint64 MonotonicMs();
double Percentile(std::vector<double> values, double fraction);

// Posts a no-op to the UI thread's event loop every intervalMs and keeps how long each
// took to run: the time a user's click would wait.
class TLoopProbe : public QObject {
public:
    explicit TLoopProbe(int intervalMs);
    void Start();
    void Stop();
    const std::vector<double>& LatenciesMs() const { return latencies_; }

private:
    void Post();
    QTimer timer_;
    std::vector<double> latencies_;
};

// A measuring program's failure on standard error ("program: why"); its exit status, 1.
int BenchFailed(const char* program, const QString& why);

// One row of the table: | figure | measured | target | met |.
void PrintRow(const QString& figure, const QString& measured, const QString& target, bool met);
// A row that only reports (no target).
void PrintInfo(const QString& figure, const QString& measured);

// One point of a plotted series ("scale-ftdi", x = trackers, y = seconds), appended as a
// line "series x y" to the file named by QLBENCH_POINTS; nothing when it is not set.
// scripts/bench.sh collects the points and draws the plots of docs/PERFORMANCE.md.
void PlotPoint(const QString& series, double x, double y);

}  // namespace ql::bench
