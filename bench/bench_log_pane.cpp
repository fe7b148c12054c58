// The log pane's cost per line as it fills: 100 000 device lines go through the window's
// own log path (the pane and the daily log file), with the event loop run between
// batches as it is between hand-overs. The cost of lines 90 000 to 100 000 is set against
// that of lines 0 to 10 000. "bench_log_pane pane-only" leaves the daily file out,
// "bench_log_pane file-only" measures the daily file alone.

#include "app/LogFile.h"
#include "app/LogPane.h"
#include "app/MainForm.h"
#include "bench/BenchLoader.h"
#include "bench/Measure.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace ql;
using namespace ql::bench;

namespace {

constexpr int kLines = 100000;
constexpr int kBlock = 10000;
constexpr int kLinesBetweenEvents = 50;
constexpr int kBatch = 100;
constexpr int kDevice = 7100001;
constexpr double kTarget = 1.5;
// The window's settings with the daily log file off ("pane-only"); on is kBenchSettings.
constexpr char kSettingsPaneOnly[] = "[COMMON]\nLanguage=English\nMainForm=0,0,800,520,0,209,0,0,0,0,0,0\n";

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool paneOnly = app.arguments().value(1) == QStringLiteral("pane-only");
    QTemporaryDir dir;
    QFile ini(dir.filePath(QStringLiteral("QLFWLoader.ini")));
    if (!dir.isValid() || !ini.open(QIODevice::WriteOnly) || ini.write(paneOnly ? kSettingsPaneOnly : kBenchSettings) < 0) {
        std::fputs("bench_log_pane: cannot write the settings file\n", stderr);
        return 1;
    }
    ini.close();
    TMainForm form{LoaderOptions{}};
    form.SetExeDir(dir.path() + '/');
    form.SetDriverBinders({[] { return true; }, [] { return true; }});  // no discovery here
    form.show();
    QApplication::processEvents();

    // Each block's cost is its median batch of 100 lines times its batch count: a burst
    // of other work on the machine moves a few batches, not the median.
    const bool fileOnly = app.arguments().value(1) == QStringLiteral("file-only");
    std::vector<std::vector<double>> batches(kLines / kBlock);
    QElapsedTimer clock;
    clock.start();
    for (int line = 0; line < kLines; ++line) {
        const QString text = QStringLiteral("(%1)Recording part %2 of 256").arg(line, 6).arg(line % 256);
        if (fileOnly)
            AppendLogFile(dir.path() + '/', text);
        else
            form.LogDeviceText(lkInfo, kDevice, text);
        if ((line + 1) % kLinesBetweenEvents == 0)
            QApplication::processEvents();
        if ((line + 1) % kBatch == 0) {
            batches[size_t(line / kBlock)].push_back(double(clock.nsecsElapsed()) / 1e6);
            clock.restart();
        }
    }
    auto cost = [](const std::vector<double>& block) { return Percentile(block, 0.5) * double(block.size()); };
    const double first = cost(batches.front()), last = cost(batches.back());
    const double ratio = last / first;
    const char* what = fileOnly ? " (the daily file alone)" : paneOnly ? " without the daily file" : "";
    PrintRow(QStringLiteral("Log pane%1: lines 90 000–100 000 against lines 0–10 000").arg(QLatin1String(what)),
             QStringLiteral("%1 ms against %2 ms: ×%3 (%4 lines in the pane)")
                 .arg(last, 0, 'f', 0).arg(first, 0, 'f', 0).arg(ratio, 0, 'f', 3).arg(form.reLog->ShownLines()),
             QStringLiteral("≤ 1.5"), ratio <= kTarget);
    return 0;
}
