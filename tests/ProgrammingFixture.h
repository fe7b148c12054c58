#pragma once
// The programming bench: a simulated tracker in its bootloader, a session for it, the
// lines it logs (with a hook that sees each line as it arrives) and its progress.

#include "MessageMatch.h"
#include "SimBench.h"
#include "core/MessageCatalogue.h"
#include "writing/WriteSession.h"

#include <gtest/gtest.h>

#include <functional>

namespace ql::test {

class THookedLog : public TCollectingLog {
public:
    void LogDeviceText(TLogKind kind, int device, const QString& text) override
    {
        TCollectingLog::LogDeviceText(kind, device, text);
        if (OnLine)
            OnLine(Lines.back());
    }
    std::function<void(const TLoggedLine&)> OnLine;
};

// Map 1 (4 KB sectors, the first writable one at 0x4000): small sectors keep a session
// short. Two sectors of payload.
inline constexpr uint32_t kMap1Processor = 0x0000BC40;
inline constexpr uint32_t kMap1FirstStart = 0x4000;

inline QByteArray Pattern(int size, uint32_t seed)
{
    QByteArray bytes(size, '\0');
    uint32_t x = seed;
    for (char& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = char(x >> 24);
    }
    return bytes;
}

inline const QByteArray kTwoSectorPayload = Pattern(2 * 4096, 0x1234);

class Programming : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetCurrentLanguage(kEnglish); }
    void SetUp() override { ASSERT_TRUE(bench.Start()); }

    using TSimFaultsSetter = std::function<void(sim::TSimFaults&)>;

    // A tracker of map 1 on the maker's USB link, which sends each record in one write.
    sim::TSimTracker Map1Tracker(uint32_t serial, TSimFaultsSetter faults = {})
    {
        sim::TSimTracker tracker = TestTracker(serial, sim::TSimLink::MakerUsb);
        tracker.ProcessorId = kMap1Processor;
        if (faults)
            faults(tracker.Faults);
        return tracker;
    }

    // Adds the tracker, takes over its identification's results, and makes a session.
    std::unique_ptr<TWriteSession> Session(const sim::TSimTracker& tracker,
                                           const QByteArray& image)
    {
        device = bench.Add(tracker);
        if (!device)
            return nullptr;
        device->InBootloader = true;
        device->ProcessorId = tracker.ProcessorId;
        ParseVersion(device->FirmwareVersion, tracker.FirmwareVersion);
        ParseVersion(device->BootloaderVersion, tracker.BootloaderVersion);
        auto session = std::make_unique<TWriteSession>(bench.Channel, handOver, log, bench.Options,
                                                       *device);
        session->LoadFirmware = ImageLoader(image);
        session->Progress = [this](int percent) { progress.push_back(percent); };
        return session;
    }

    std::vector<int> Messages() const { return MessageNumbers(log); }

    TSimBench bench;
    TDirectHandOver handOver;
    THookedLog log;
    std::vector<int> progress;
    std::unique_ptr<TDevEntry> device;
};

inline QByteArray Map1Image(const QByteArray& payload = kTwoSectorPayload,
                            const QByteArray& version = "QRGX-13.39-a6")
{
    return BuildFirmwareImage(version, "", false, 0, 0xFFFFFFFF, payload);
}

}  // namespace ql::test
