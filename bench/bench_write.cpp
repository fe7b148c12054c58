// The loader's writing speed over each kind of link against the floor that link allows,
// and its scaling when several trackers are written at once, with the UI thread's
// latency and the peak memory while they write. Each figure is a ratio of two times
// measured in the same run, so a noisy machine moves both.
//
//   bench_write link ftdi|com|usb
//   bench_write scale ftdi|com|usb [COUNT,...]   (the rounds; by default each series' own)
//
// Needs qltracker-sim's stand-in driver libraries on LD_LIBRARY_PATH and an offscreen or
// real display (scripts/bench.sh sets both).

#include "bench/BenchLoader.h"
#include "bench/Measure.h"
#include "bench/SimProcess.h"
#include "firmware/ImageFormat.h"
#include "links/D2xxPort.h"
#include "links/DeviceChannel.h"
#include "links/DriverLibraries.h"
#include "links/LoaderRecord.h"
#include "app/MainForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

using namespace ql;
using namespace ql::bench;

namespace {

constexpr uint32_t kSerial = 7100001;
constexpr int kPassMs = 120000;  // identifying a rack of 128 trackers
constexpr int kWriteMs = 600000;
constexpr int kSleepSamples = 2000;
constexpr double kComBytesPerSecond = 11520;  // 115200 baud, 8N1
constexpr int kPieceBytes = 512;               // image bytes in one write record
constexpr double kBytesPerMB = 1e6;
constexpr int kProbeIntervalMs = 10;
constexpr int kScalePayload = 128 * 1024;      // one map-7 sector: a COM-paced round stays short
constexpr int kReplyPollMs = 6000;
constexpr int kEndPollMs = 5;
constexpr int kReadPauses = 2;  // FTDI: the empty poll and the settling pause of each read
constexpr int kHandOverSamples = 5000;  // how often the end of the sessions is looked for

constexpr double kFtdiTarget = 1.10;
constexpr double kComTarget = 1.02;
constexpr double kLatencyTargetMs = 50;


int Fail(const QString& why) { return BenchFailed("bench_write", why); }

QJsonArray TraceOf(TSimProcess& sim, uint32_t serial, bool withBytes)
{
    const QByteArray answer = sim.Ask("trace " + QByteArray::number(serial) + (withBytes ? "" : " brief"));
    return QJsonDocument::fromJson(answer.mid(3)).array();
}

int WritePieces(const QJsonArray& trace)
{
    int pieces = 0;
    for (const QJsonValue& r : trace) {
        const int command = r.toObject().value("Command").toInt();
        if (command == kCmdWriteOld || command == kCmdWrite)
            ++pieces;
    }
    return pieces;
}

struct TRun {
    double WallS = 0;
    double CpuS = 0;
    double MB = 0;
};

// Waits for the first pass, presses every update button and waits for the sessions.
bool WriteOnce(std::vector<TBenchLoader*> loaders, int devicesEach, TRun& run, TLoopProbe* probe = nullptr)
{
    auto ready = [&] {
        for (TBenchLoader* l : loaders)
            if (l->DeviceCount() != devicesEach || l->Busy())
                return false;
        return true;
    };
    if (!RunUntil(ready, kPassMs))
        return false;
    const double cpu = ProcessCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    if (probe)
        probe->Start();
    for (TBenchLoader* l : loaders)
        l->StartWrites();
    const bool ended = RunUntil(
        [&] {
            for (TBenchLoader* l : loaders)
                if (l->Busy())
                    return false;
            return true;
        },
        kWriteMs, kEndPollMs);
    if (probe)
        probe->Stop();
    run.WallS = double(clock.nsecsElapsed()) / 1e9;
    run.CpuS = ProcessCpuSeconds() - cpu;
    int completed = 0;
    for (TBenchLoader* l : loaders)
        completed += l->CompletedWrites();
    return ended && completed == int(loaders.size()) * devicesEach;
}

// The simulator with one tracker and a loader window that has found it, the trace cleared
// so that it holds the write session's requests only.
bool StartOne(TSimProcess& sim, TBenchLoader& loader, const QByteArray& tracker, bool com, QString& error)
{
    if (!sim.Start("[" + tracker + "]", {}, error))
        return false;
    LoaderOptions options;
    if (com)
        options.comportName = sim.ComPortPath(kSerial);
    if (!loader.Open(options, error))
        return false;
    if (!RunUntil([&] { return loader.DeviceCount() == 1 && !loader.Busy(); }, kPassMs)) {
        error = QStringLiteral("the loader did not find the tracker");
        return false;
    }
    sim.AskOk("cleartrace " + QByteArray::number(kSerial));
    return true;
}

QString CpuPerMB(const TRun& run) { return QStringLiteral("%1 CPU s/MB").arg(run.CpuS / run.MB, 0, 'f', 3); }

// One FTDI write of the embedded image to a map-7 tracker; trace: the session's requests.
bool WriteFtdi(const QByteArray& extra, TRun& run, QJsonArray& trace, QString& error)
{
    TSimProcess sim;
    TBenchLoader loader;
    if (!StartOne(sim, loader, TrackerJson(kSerial, "Ftdi", extra), false, error))
        return false;
    if (!WriteOnce({&loader}, 1, run)) {
        error = QStringLiteral("the FTDI write did not complete");
        return false;
    }
    trace = TraceOf(sim, kSerial, false);
    run.MB = double(WritePieces(trace)) * kPieceBytes / kBytesPerMB;
    return true;
}

// The bridges start at their default 16 ms latency timer, as a real chip does at every
// open; the loader sets 2 ms. The same write is made again on a bridge that keeps its
// 16 ms whatever is set (the simulator's FixedLatencyTimer: a library that cannot set it),
// so the gain of the tuning shows beside the figure.
//
// Plotted points (QLBENCH_POINTS): series "ftdi-floor", "ftdi-tuned" and "ftdi-untuned",
// one point each, x = the bridge's latency timer in ms during the write (2, 2 and 16),
// y = seconds.
int LinkFtdi()
{
    const double sleepMs = MeanSleepMs(kFtdiPollPauseMs, kSleepSamples);
    TRun run;
    QJsonArray trace;
    QString error;
    if (!WriteFtdi({}, run, trace, error))
        return Fail(error);
    TRun untuned;
    QJsonArray untunedTrace;
    if (!WriteFtdi("\"FixedLatencyTimer\": true", untuned, untunedTrace, error))
        return Fail(QStringLiteral("without latency tuning: %1").arg(error));
    // Every request goes in 64-byte pieces with a pause between them. Its read polls the
    // queue from the moment the last piece has left, before any device can have answered,
    // so it pauses at least once before the reply is queued and once more, as it must, to
    // let the rest of the reply arrive. Each reply, shorter than the bridge's packet,
    // waits in the bridge for its latency timer as the loader set it.
    int pauses = 0;
    for (const QJsonValue& r : trace) {
        const int length = r.toObject().value("Length").toInt();
        pauses += (length + kFtdiPieceSize - 1) / kFtdiPieceSize - 1 + kReadPauses;
    }
    const int replies = int(trace.size());
    const double floorS = (pauses * sleepMs + replies * double(kD2xxLatencyTimerMs)) / 1000;
    PrintInfo(QStringLiteral("FTDI: mean length of a 1 ms sleep"), QStringLiteral("%1 ms").arg(sleepMs, 0, 'f', 3));
    PrintRow(QStringLiteral("FTDI, bridges at 16 ms: embedded image to one map-7 tracker"),
             QStringLiteral("%1 s; floor %2 s (%3 pauses, %4 replies each held %5 ms): ×%6")
                 .arg(run.WallS, 0, 'f', 2).arg(floorS, 0, 'f', 2).arg(pauses).arg(replies)
                 .arg(int(kD2xxLatencyTimerMs)).arg(run.WallS / floorS, 0, 'f', 3),
             QStringLiteral("≤ 1.10 × floor"), run.WallS <= kFtdiTarget * floorS);
    PrintInfo(QStringLiteral("FTDI: the same write with latency tuning switched off (bridge kept at %1 ms)")
                  .arg(int(ftdi::kDefaultLatencyTimerMs)),
              QStringLiteral("%1 s (%2 requests): ×%3 the tuned write")
                  .arg(untuned.WallS, 0, 'f', 2).arg(untunedTrace.size()).arg(untuned.WallS / run.WallS, 0, 'f', 2));
    PrintInfo(QStringLiteral("FTDI: loader CPU per MB written"), CpuPerMB(run));
    PlotPoint(QStringLiteral("ftdi-floor"), kD2xxLatencyTimerMs, floorS);
    PlotPoint(QStringLiteral("ftdi-tuned"), kD2xxLatencyTimerMs, run.WallS);
    PlotPoint(QStringLiteral("ftdi-untuned"), ftdi::kDefaultLatencyTimerMs, untuned.WallS);
    return 0;
}

int LinkCom()
{
    TSimProcess sim;
    TBenchLoader loader;
    QString error;
    if (!StartOne(sim, loader, TrackerJson(kSerial, "ComPort", "\"Faults\": {\"PaceBaud\": true}"), true, error))
        return Fail(error);
    uint64_t in0 = 0, out0 = 0, in1 = 0, out1 = 0;
    double waiting0 = 0, late0 = 0, waiting1 = 0, late1 = 0;
    sim.WireBytes(kSerial, in0, out0);
    sim.LineTimes(kSerial, waiting0, late0);
    TRun run;
    if (!WriteOnce({&loader}, 1, run))
        return Fail(QStringLiteral("the COM-port write did not complete"));
    sim.WireBytes(kSerial, in1, out1);
    sim.LineTimes(kSerial, waiting1, late1);
    const uint64_t wire = (in1 - in0) + (out1 - out0);
    const double floorS = double(wire) / kComBytesPerSecond;
    run.MB = double(WritePieces(TraceOf(sim, kSerial, false))) * kPieceBytes / kBytesPerMB;
    PrintRow(QStringLiteral("COM port paced at 115200 baud: embedded image to one map-7 tracker"),
             QStringLiteral("%1 s; floor %2 s (%3 bytes on the wire): ×%4")
                 .arg(run.WallS, 0, 'f', 2).arg(floorS, 0, 'f', 2).arg(wire).arg(run.WallS / floorS, 0, 'f', 3),
             QStringLiteral("≤ %1 × floor").arg(kComTarget, 0, 'f', 2), run.WallS <= kComTarget * floorS);
    // A read ends with its reply's frame, so no exchange waits on the line's time-outs. The
    // time beyond the wire is the line standing idle for the loader (after each reply: the
    // last byte to the loader, the session's hand-over of its line to the window and back,
    // the next request to the simulator; between the frames of a request; before the
    // session's first request and after its last reply) and the simulator's own lateness
    // with replies. What neither explains is the measurement's own start and stop.
    const int exchanges = int(TraceOf(sim, kSerial, false).size());
    const double waitingS = waiting1 - waiting0, lateS = late1 - late0;
    const double restS = run.WallS - floorS - waitingS - lateS;
    PrintInfo(QStringLiteral("COM port: beyond the wire, the line idle for the loader (%1 exchanges, the session's start and end)")
                  .arg(exchanges),
              QStringLiteral("%1 s: %2 ms a reply").arg(waitingS, 0, 'f', 2).arg(waitingS * 1000 / exchanges, 0, 'f', 3));
    PrintInfo(QStringLiteral("COM port: beyond the wire, the simulator late with its replies"),
              QStringLiteral("%1 s: %2 ms a reply").arg(lateS, 0, 'f', 2).arg(lateS * 1000 / exchanges, 0, 'f', 3));
    PrintInfo(QStringLiteral("COM port: beyond the wire, neither of the two"),
              QStringLiteral("%1 s").arg(restS, 0, 'f', 2));
    PlotPoint(QStringLiteral("com"), 1, run.WallS);
    PlotPoint(QStringLiteral("com-wire"), 1, floorS);
    PrintInfo(QStringLiteral("COM port: loader CPU per MB written"), CpuPerMB(run));
    return 0;
}

// The same requests as the loader's session, in the same order, made straight through
// the driver library on this one thread: no window, no log, no hand-over.
bool BareClient(const QJsonArray& trace, uint16_t usbTag, TRun& run)
{
    if (!LoadQlusbLibrary())
        return false;
    const TQlusbLibrary& mv = QlusbLibrary();
    const QByteArray serial = QByteArray::number(kSerial);
    std::vector<QByteArray> requests;
    for (const QJsonValue& r : trace)
        requests.push_back(QByteArray::fromHex(r.toObject().value("Bytes").toString().toLatin1()));
    std::vector<uint8_t> reply(kMaxLoaderReply);
    const double cpu = ProcessCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    uint32_t handle = 0;
    if (mv.OpenDevice(usbTag, serial.constData(), &handle) != qlusb::MV_OK || handle == 0)
        return false;
    bool answered = true;
    for (const QByteArray& request : requests) {
        uint32_t done = 0;
        mv.Write(handle, reinterpret_cast<const uint8_t*>(request.constData()), uint32_t(request.size()), &done);
        QElapsedTimer wait;
        wait.start();
        uint32_t got = 0;
        while (got == 0 && wait.elapsed() < kReplyPollMs) {
            mv.ReadNotTimeOut(handle, reply.data(), uint32_t(reply.size()), &got);
            if (got == 0)
                std::this_thread::yield();
        }
        answered = answered && got > 0;
    }
    mv.CloseDevice(&handle);
    run.WallS = double(clock.nsecsElapsed()) / 1e9;
    run.CpuS = ProcessCpuSeconds() - cpu;
    return answered;
}

int LinkUsb()
{
    constexpr uint16_t kUsbTag = 1;
    TSimProcess sim;
    TBenchLoader loader;
    QString error;
    if (!StartOne(sim, loader, TrackerJson(kSerial, "MakerUsb", "\"UsbTag\": 1"), false, error))
        return Fail(error);
    TRun run;
    if (!WriteOnce({&loader}, 1, run))
        return Fail(QStringLiteral("the maker-USB write did not complete"));
    const QJsonArray trace = TraceOf(sim, kSerial, true);
    run.MB = double(WritePieces(trace)) * kPieceBytes / kBytesPerMB;
    TRun bare;
    if (!BareClient(trace, kUsbTag, bare))
        return Fail(QStringLiteral("the bare client's exchanges failed"));
    bare.MB = run.MB;
    // No target against the bare client: each session waits for its display at every
    // exchange by design, so the loader's own cost per exchange and per MB is what is shown.
    PrintInfo(QStringLiteral("maker USB: embedded image to one map-7 tracker"),
              QStringLiteral("%1 s; bare client %2 s (%3 exchanges): ×%4")
                  .arg(run.WallS, 0, 'f', 2).arg(bare.WallS, 0, 'f', 2).arg(trace.size())
                  .arg(run.WallS / bare.WallS, 0, 'f', 3));
    // What one of the session's waits for the UI thread costs when the work is nothing.
    std::atomic<bool> done{false};
    QElapsedTimer handOverClock;
    handOverClock.start();
    std::thread caller([&] {
        for (int i = 0; i < kHandOverSamples; ++i)
            loader.Form().HandOver().RunOnUiThread([] {});
        done = true;
    });
    RunUntil([&] { return done.load(); }, kWriteMs);
    caller.join();
    const double handOverUs = double(handOverClock.nsecsElapsed()) / 1e3 / kHandOverSamples;
    PrintInfo(QStringLiteral("maker USB: per exchange, loader against bare client"),
              QStringLiteral("%1 µs against %2 µs; an empty hand-over to the UI thread and back: %3 µs")
                  .arg(run.WallS * 1e6 / trace.size(), 0, 'f', 0).arg(bare.WallS * 1e6 / trace.size(), 0, 'f', 0)
                  .arg(handOverUs, 0, 'f', 0));
    PrintInfo(QStringLiteral("maker USB: loader CPU per MB written"),
              CpuPerMB(run) + QStringLiteral(" (bare client ") + CpuPerMB(bare) + ')');
    return 0;
}

QString ScalePayloadImage(const QString& folder)
{
    QByteArray payload(kScalePayload, '\0');
    uint32_t x = 2463534242u;  // xorshift32: incompressible, like an enciphered image
    for (char& b : payload) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = char(x);
    }
    const QString path = folder + QStringLiteral("/scale.eraw");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(BuildFirmwareImage("QRGX-13.39-a6", "", false, 0, 0xFFFFFFFF, payload));
    return path;
}

// What one scaling series measures: its link, how many trackers each round writes at
// once, and the targets its largest round is held to (none where a target is 0).
struct TScaleSeries {
    const char* Name;        // the plotted series
    const char* Link;        // the simulator's link name
    const char* Figure;      // the rows' prefix
    std::vector<int> Counts; // ascending: the largest round runs last
    double RatioTarget;      // T(largest)/T(1)
    double PeakTargetMiB;    // peak resident memory of the largest round
    bool ProbeTarget;        // UI event-loop p99 while the largest round writes
    bool ScrollCheck;        // the largest round's panels scroll in the window
};

// The FTDI rounds are a production station's hub rack; COM has one loader window per
// tracker; the maker-USB series has no targets (each session keeps pace with its display).
const TScaleSeries kScaleFtdi{"scale-ftdi", "Ftdi", "FTDI", {1, 8, 32, 128}, 1.5, 200, true, true};
const TScaleSeries kScaleCom{"scale-com", "ComPort", "COM port paced at 115200 baud", {1, 2, 4, 8}, 1.3, 0, true, false};
const TScaleSeries kScaleUsb{"scale-usb", "MakerUsb", "maker USB", {1, 8, 32, 128}, 0, 0, false, false};

QByteArray ScaleTrackers(const TScaleSeries& series, int count)
{
    QByteArray trackers = "[";
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            trackers += ',';
        const uint32_t serial = kSerial + uint32_t(i);
        if (qstrcmp(series.Link, "ComPort") == 0)
            trackers += TrackerJson(serial, series.Link, "\"Faults\": {\"PaceBaud\": true}");
        else if (qstrcmp(series.Link, "MakerUsb") == 0)
            trackers += TrackerJson(serial, series.Link, "\"UsbTag\": " + QByteArray::number(i + 1));
        else
            trackers += TrackerJson(serial, series.Link);
    }
    return trackers + ']';
}

// The device area of a window with many panels: its scroll bar has somewhere to go, and
// asking the area to show the last panel brings that panel wholly into its viewport.
bool LastPanelScrollsIntoView(TMainForm& form, QString& detail)
{
    auto* area = form.findChild<QScrollArea*>();
    const auto panels = form.findChildren<QGroupBox*>();
    QWidget* last = nullptr;
    for (QGroupBox* box : panels)
        if (area && area->widget() && area->widget()->isAncestorOf(box) && (!last || box->y() > last->y()))
            last = box;
    if (!area || !last) {
        detail = QStringLiteral("no device area or no panel");
        return false;
    }
    QCoreApplication::processEvents();
    const int maximum = area->verticalScrollBar()->maximum();
    area->verticalScrollBar()->setValue(0);
    area->ensureWidgetVisible(last, 0, 0);
    QCoreApplication::processEvents();
    const QRect shown(last->mapTo(area->viewport(), QPoint(0, 0)), last->size());
    const bool visible = area->viewport()->rect().contains(shown) && last->isVisible();
    detail = QStringLiteral("scroll bar 0–%1, the last panel at %2–%3 of a %4-pixel viewport")
                 .arg(maximum).arg(shown.top()).arg(shown.bottom()).arg(area->viewport()->height());
    return maximum > 0 && visible;
}

int Scale(TScaleSeries series, const QString& counts)
{
    // Other rounds may be named ("1,128"), ascending, to look at one of them.
    if (!counts.isEmpty()) {
        series.Counts.clear();
        for (const QString& count : counts.split(u','))
            series.Counts.push_back(count.toInt());
    }
    const bool com = qstrcmp(series.Link, "ComPort") == 0;
    const char* linkName = series.Figure;
    const int largest = series.Counts.back();
    QTemporaryDir folder;
    const QString image = com ? ScalePayloadImage(folder.path()) : QString();
    if (com && image.isEmpty())
        return Fail(QStringLiteral("cannot write the image file"));
    std::vector<double> times;
    std::vector<double> latencies;
    double peak = 0;
    bool peakOfRound = false;
    bool scrolls = false;
    QString scrollDetail;
    for (int count : series.Counts) {
        TSimProcess sim;
        QString error;
        if (!sim.Start(ScaleTrackers(series, count), {}, error))
            return Fail(error);
        // FTDI and maker USB: one window shows every tracker. COM: the program has one COM
        // port, so each tracker has a loader window of its own, all on this one UI thread.
        std::vector<std::unique_ptr<TBenchLoader>> loaders;
        for (int i = 0; i < (com ? count : 1); ++i) {
            LoaderOptions options;
            if (com) {
                options.comportName = sim.ComPortPath(kSerial + uint32_t(i));
                options.externFirmware = options.fileOnCommandLine = true;
                options.fwFile = image;
            }
            loaders.push_back(std::make_unique<TBenchLoader>());
            if (!loaders.back()->Open(options, error))
                return Fail(error);
        }
        std::vector<TBenchLoader*> all;
        for (const auto& l : loaders)
            all.push_back(l.get());
        const bool isLargest = count == largest;
        // The peak memory figure is the largest round's own: rounds run from the smallest,
        // and the peak starts anew from what the process holds as this round begins.
        if (isLargest)
            peakOfRound = ResetPeakResident();
        TLoopProbe probe(kProbeIntervalMs);
        TRun run;
        const double simCpu = sim.CpuSeconds();
        if (!WriteOnce(all, com ? 1 : count, run, isLargest ? &probe : nullptr))
            return Fail(QStringLiteral("%1 trackers: not every write completed").arg(count));
        const double simCpuS = sim.CpuSeconds() - simCpu;
        times.push_back(run.WallS);
        if (isLargest) {
            latencies = probe.LatenciesMs();
            peak = PeakResidentMiB();
            if (series.ScrollCheck)
                scrolls = LastPanelScrollsIntoView(loaders.front()->Form(), scrollDetail);
        }
        PrintInfo(QStringLiteral("%1: %2 tracker(s) at once").arg(linkName).arg(count),
                  QStringLiteral("%1 s").arg(run.WallS, 0, 'f', 2));
        PrintInfo(QStringLiteral("%1: simulator CPU while %2 write (not the loader's)").arg(linkName).arg(count),
                  QStringLiteral("%1 CPU s in %2 s: %3 % of one core; loader %4 CPU s")
                      .arg(simCpuS, 0, 'f', 2).arg(run.WallS, 0, 'f', 2)
                      .arg(100 * simCpuS / run.WallS, 0, 'f', 0).arg(run.CpuS, 0, 'f', 2));
        PlotPoint(QString::fromLatin1(series.Name), count, run.WallS);
    }
    const double ratio = times.back() / times.front();
    const QString ratioFigure = QStringLiteral("%1: T(%2)/T(1)").arg(linkName).arg(largest);
    if (series.RatioTarget > 0)
        PrintRow(ratioFigure, QStringLiteral("×%1").arg(ratio, 0, 'f', 3),
                 QStringLiteral("≤ %1").arg(series.RatioTarget), ratio <= series.RatioTarget);
    else
        PrintInfo(ratioFigure, QStringLiteral("×%1").arg(ratio, 0, 'f', 3));
    const double p99 = Percentile(latencies, 0.99);
    const QString latencyFigure =
        QStringLiteral("%1: UI event-loop latency while %2 write, 99th percentile").arg(linkName).arg(largest);
    const QString latencyText = QStringLiteral("%1 ms (%2 samples, max %3 ms)")
                                    .arg(p99, 0, 'f', 2).arg(latencies.size())
                                    .arg(Percentile(latencies, 1.0), 0, 'f', 2);
    if (series.ProbeTarget)
        PrintRow(latencyFigure, latencyText, QStringLiteral("≤ 50 ms"), p99 <= kLatencyTargetMs && !latencies.empty());
    else
        PrintInfo(latencyFigure, latencyText);
    const QString peakFigure = QStringLiteral("%1: peak resident memory while %2 map-7 trackers are written at once%3")
                                   .arg(linkName).arg(largest)
                                   .arg(peakOfRound ? QString() : QStringLiteral(" (whole run)"));
    const QString peakText = QStringLiteral("%1 MiB").arg(peak, 0, 'f', 1);
    if (series.PeakTargetMiB > 0)
        PrintRow(peakFigure, peakText, QStringLiteral("≤ %1 MiB").arg(series.PeakTargetMiB),
                 peak <= series.PeakTargetMiB);
    else if (!com)
        PrintInfo(peakFigure, peakText);
    if (series.ScrollCheck)
        PrintRow(QStringLiteral("%1: the %2 panels scroll in the window").arg(linkName).arg(largest),
                 (scrolls ? QStringLiteral("yes: ") : QStringLiteral("no: ")) + scrollDetail,
                 QStringLiteral("yes"), scrolls);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString what = args.value(1), link = args.value(2);
    if (what == "link" && link == "ftdi")
        return LinkFtdi();
    if (what == "link" && link == "com")
        return LinkCom();
    if (what == "link" && link == "usb")
        return LinkUsb();
    if (what == "scale" && link == "ftdi")
        return Scale(kScaleFtdi, args.value(3));
    if (what == "scale" && link == "com")
        return Scale(kScaleCom, args.value(3));
    if (what == "scale" && link == "usb")
        return Scale(kScaleUsb, args.value(3));
    std::fputs("usage: bench_write link ftdi|com|usb | scale ftdi|com|usb [COUNT,...]\n", stderr);
    return 2;
}
