#include "bench/Measure.h"

#include "platform/Tick.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ql::bench {

namespace {
constexpr char kPointsVariable[] = "QLBENCH_POINTS";
}  // namespace

double MeanSleepMs(uint32_t sleepMs, int count)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i)
        SleepMs(sleepMs);
    return double(clock.nsecsElapsed()) / 1e6 / count;
}

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double PeakResidentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

bool ResetPeakResident()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

qint64 MonotonicMs() { return QDeadlineTimer::current().deadline(); }

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t at = size_t(std::ceil(fraction * double(values.size()))) - 1;
    return values[std::min(at, values.size() - 1)];
}

TLoopProbe::TLoopProbe(int intervalMs)
{
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &TLoopProbe::Post);
}

void TLoopProbe::Start() { timer_.start(); }

void TLoopProbe::Stop() { timer_.stop(); }

void TLoopProbe::Post()
{
    QElapsedTimer posted;
    posted.start();
    QMetaObject::invokeMethod(
        this, [this, posted] { latencies_.push_back(double(posted.nsecsElapsed()) / 1e6); },
        Qt::QueuedConnection);
}

namespace {

void Print(const QString& figure, const QString& measured, const QString& target, const char* met)
{
    std::printf("| %s | %s | %s | %s |\n", qPrintable(figure), qPrintable(measured), qPrintable(target), met);
    std::fflush(stdout);
}

}  // namespace

int BenchFailed(const char* program, const QString& why)
{
    std::fprintf(stderr, "%s: %s\n", program, qPrintable(why));
    return 1;
}

void PrintRow(const QString& figure, const QString& measured, const QString& target, bool met)
{
    Print(figure, measured, target, met ? "yes" : "**no**");
}

void PrintInfo(const QString& figure, const QString& measured) { Print(figure, measured, QStringLiteral("—"), "—"); }

void PlotPoint(const QString& series, double x, double y)
{
    const QByteArray path = qgetenv(kPointsVariable);
    if (path.isEmpty())
        return;
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    file.write(QStringLiteral("%1 %2 %3\n").arg(series).arg(x, 0, 'g', 10).arg(y, 0, 'g', 10).toUtf8());
}

}  // namespace ql::bench
