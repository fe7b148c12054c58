// Start-up of the built loader on the offscreen platform: from the moment its process is
// started to its first discovery pass, and from the moment a tracker in its bootloader
// appears to its panel on screen, less the pass's own time (its identification
// exchanges). The loader states both moments on its diagnostic category ql.discovery in
// the system's monotonic milliseconds, the clock this program reads too.
//
//   bench_startup [starts]

#include "bench/Measure.h"
#include "bench/SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

using namespace ql::bench;

namespace {

constexpr int kDefaultStarts = 5;
constexpr int kLineWaitMs = 20000;
constexpr int kQuitMs = 5000;
constexpr double kStartTargetMs = 400;
constexpr double kShownTargetMs = 150;
constexpr uint32_t kFirstSerial = 7300001;

int Fail(const QString& why) { return BenchFailed("bench_startup", why); }

// The loader's standard error, line by line, as it comes.
class TLoaderOutput {
public:
    explicit TLoaderOutput(QProcess& process) : process_(process) {}
    // The next line that matches, with its captures; false at the time-out.
    bool Next(const QRegularExpression& pattern, QRegularExpressionMatch& match)
    {
        QElapsedTimer clock;
        clock.start();
        for (;;) {
            qsizetype end;
            while ((end = pending_.indexOf('\n')) >= 0) {
                const QString line = QString::fromLocal8Bit(pending_.left(end));
                pending_.remove(0, end + 1);
                match = pattern.match(line);
                if (match.hasMatch())
                    return true;
            }
            if (clock.elapsed() > kLineWaitMs)
                return false;
            process_.waitForReadyRead(100);
            pending_ += process_.readAllStandardError();
        }
    }

private:
    QProcess& process_;
    QByteArray pending_;
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int starts = std::max(1, app.arguments().value(1).toInt() > 0 ? app.arguments().value(1).toInt()
                                                                        : kDefaultStarts);
    const QRegularExpression started(QStringLiteral("pass started at (\\d+)"));
    const QRegularExpression shown(QStringLiteral("pass shown at (\\d+): (\\d+) new device\\(s\\), the pass took (\\d+) ms"));

    std::vector<double> toFirstPass, toFirstShown, plugged, toPassStart, afterPass;
    for (int i = 0; i < starts; ++i) {
        QTemporaryDir dir;
        const QString exe = dir.filePath(QStringLiteral("qlfwloader"));
        const QString events = dir.filePath(QStringLiteral("events"));
        if (!dir.isValid() || !QDir(dir.path()).mkdir(QStringLiteral("run"))
            || !QFile::copy(QStringLiteral(LOADER_PATH), exe))
            return Fail(QStringLiteral("cannot make the loader's folder"));
        QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        TSimProcess sim;
        QString error;
        if (!sim.Start("[]", events, error))
            return Fail(error);

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("ql.discovery.debug=true"));
        env.insert(QStringLiteral("QLFW_DEVICE_EVENTS"), events);
        QProcess loader;
        loader.setProcessEnvironment(env);
        loader.setWorkingDirectory(dir.path());
        TLoaderOutput output(loader);
        const qint64 startedAt = MonotonicMs();
        loader.start(exe, {});
        QRegularExpressionMatch match;
        if (!output.Next(started, match))
            return Fail(QStringLiteral("no first pass"));
        toFirstPass.push_back(double(match.captured(1).toLongLong() - startedAt));
        if (!output.Next(shown, match))
            return Fail(QStringLiteral("the first pass did not end"));
        toFirstShown.push_back(double(match.captured(1).toLongLong() - startedAt));

        const uint32_t serial = kFirstSerial + uint32_t(i);
        const qint64 pluggedAt = MonotonicMs();
        if (!sim.AskOk("add " + TrackerJson(serial, "Ftdi")))
            return Fail(QStringLiteral("the tracker could not be added"));
        // The pass the plug-in caused: when it started, when its new panel was on screen.
        const QRegularExpression either(
            QStringLiteral("pass (started|shown) at (\\d+)(?:: (\\d+) new device\\(s\\), the pass took (\\d+) ms)?"));
        qint64 passStartedAt = 0;
        for (;;) {
            if (!output.Next(either, match))
                return Fail(QStringLiteral("the tracker never appeared"));
            if (match.captured(1) == QStringLiteral("started"))
                passStartedAt = match.captured(2).toLongLong();
            else if (match.captured(3).toInt() > 0)
                break;
        }
        const qint64 shownAt = match.captured(2).toLongLong(), passMs = match.captured(4).toLongLong();
        toPassStart.push_back(double(passStartedAt - pluggedAt));
        afterPass.push_back(double(shownAt - passStartedAt - passMs));
        plugged.push_back(double(shownAt - pluggedAt - passMs));

        loader.terminate();
        if (!loader.waitForFinished(kQuitMs))
            loader.kill();
        loader.waitForFinished(kQuitMs);
    }
    const double firstPass = Percentile(toFirstPass, 0.5);
    PrintRow(QStringLiteral("Start-up: process start to the first discovery pass (median of %1)").arg(starts),
             QStringLiteral("%1 ms (max %2 ms; the pass's result on screen at %3 ms)")
                 .arg(firstPass, 0, 'f', 0).arg(Percentile(toFirstPass, 1.0), 0, 'f', 0)
                 .arg(Percentile(toFirstShown, 0.5), 0, 'f', 0),
             QStringLiteral("≤ 400 ms"), firstPass <= kStartTargetMs);
    const double worst = Percentile(plugged, 1.0);
    PrintRow(QStringLiteral("A tracker plugged in its bootloader: on screen, less its identification (worst of %1)")
                 .arg(starts),
             QStringLiteral("%1 ms (median %2 ms: %3 ms to the pass's start, %4 ms from the pass's end to the screen)")
                 .arg(worst, 0, 'f', 0).arg(Percentile(plugged, 0.5), 0, 'f', 0)
                 .arg(Percentile(toPassStart, 0.5), 0, 'f', 0).arg(Percentile(afterPass, 0.5), 0, 'f', 0),
             QStringLiteral("≤ 150 ms"), worst <= kShownTargetMs);
    return 0;
}
