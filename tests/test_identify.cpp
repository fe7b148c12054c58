// Identification against the simulated trackers: which dialogue each kind of device
// answers, what the entry holds afterwards, what goes over the wire and what is logged.

#include "IdentifyFixture.h"
#include "PtyFarEnd.h"
#include "links/Frame.h"

#include <atomic>
#include <thread>

using namespace ql;
using namespace ql::test;
using sim::TSimLink;
using sim::TSimMode;


TEST_F(Identify, ABootloaderAnswersTheRecordsOnEveryLink)
{
    for (TSimLink link : {TSimLink::Ftdi, TSimLink::MakerUsb, TSimLink::ComPort}) {
        SCOPED_TRACE(LinkName(link));
        const uint32_t serial = 3100000 + uint32_t(link);
        auto device = bench.Add(TestTracker(serial, link));
        ASSERT_TRUE(device);
        TPassContext pass = Pass();
        EXPECT_TRUE(IdentifyDevice(pass, *device));
        EXPECT_EQ(pass.ErrorCode, 0);
        EXPECT_TRUE(device->InBootloader);
        EXPECT_FALSE(device->LoaderStarted);
        EXPECT_EQ(device->FirmwareVersion.Tag, "QRGX");
        EXPECT_EQ(device->FirmwareVersion.VersionNumber, 1338);
        EXPECT_EQ(device->BootloaderVersion.Tag, "STL4");
        EXPECT_EQ(device->BootloaderVersion.VersionNumber, 105);
        EXPECT_EQ(device->BootloaderVersion.Suffix, "TR");
        EXPECT_EQ(device->ProcessorId, 0x00400419u);
        EXPECT_FALSE(device->NrfFamily);
        // Records only: the application's text command never goes out.
        const auto trace = bench.Sim.Trace(serial);
        EXPECT_EQ(RecordCommands(trace), (std::vector<uint16_t>{4, 5, 10}));
        EXPECT_TRUE(TextCommands(trace).isEmpty());
        EXPECT_EQ(trace.front().Bytes.toHex(' ').toUpper(), "0E 00 0E 00 04 00 0A 00 00 00 00 00 2A 00");
        // The link is closed again on every link.
        EXPECT_EQ(device->FtdiHandle, nullptr);
        EXPECT_EQ(device->QlusbHandle, 0u);
        EXPECT_FALSE(bench.Channel.ComIsOpen());
        EXPECT_TRUE(log.Lines.empty());
    }
    EXPECT_EQ(loads, 3);
}

TEST_F(Identify, AnApplicationIsAskedToStartItsLoader)
{
    struct TCase {
        bool StartLoaderTicked;
        QByteArray Command;
    } cases[] = {{false, "START_BOOT_LOADER=0"}, {true, "START_BOOT_LOADER=1"}};
    uint32_t serial = 3200000;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Command.constData());
        log.Lines.clear();
        auto device = bench.Add(TestTracker(++serial, TSimLink::Ftdi, TSimMode::Application));
        bench.Options.StartLoader = c.StartLoaderTicked;
        TPassContext pass = Pass();
        EXPECT_TRUE(IdentifyDevice(pass, *device));
        EXPECT_FALSE(device->InBootloader);
        EXPECT_TRUE(device->LoaderStarted);
        EXPECT_EQ(device->FirmwareVersion.VersionNumber, 1338);
        EXPECT_TRUE(device->BootloaderVersion.Tag.isEmpty());
        EXPECT_EQ(device->ProcessorId, 0u);
        const auto trace = bench.Sim.Trace(serial);
        EXPECT_EQ(RecordCommands(trace), (std::vector<uint16_t>{4}));
        EXPECT_EQ(TextCommands(trace), (QList<QByteArray>{"FL_READ_VERSION$", c.Command}));
        EXPECT_EQ(Messages(), (std::vector<int>{msg::SendingLoaderStart, msg::LoaderStartDone}));
        ASSERT_EQ(log.Lines.size(), 2u);
        EXPECT_EQ(log.Lines[1].Device, int(serial));
        EXPECT_EQ(log.Lines[1].Kind, lkInfo);
    }
}

TEST_F(Identify, TheVersionTextEndsAtItsZeroByte)
{
    // What follows the zero byte is left-over buffer, not part of the version.
    struct TCase {
        QByteArray Reply;
        QByteArray Tag;
        uint16_t Number;
        QByteArray Suffix;
    } cases[] = {
        {QByteArray("Unknown\0", 8), kUnknownTag, 1, ""},
        {QByteArray("QRGX-13.38\0xx", 13), "QRGX", 1338, ""},
        {QByteArray("QRGX-13.38b\0\xFF\xFF", 14), "QRGX", 1338, "b"},
    };
    uint32_t serial = 3250000;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Reply.toHex(' ').constData());
        sim::TSimTracker tracker = TestTracker(++serial, TSimLink::Ftdi, TSimMode::Application);
        tracker.FirmwareVersion = c.Reply;
        auto device = bench.Add(tracker);
        TPassContext pass = Pass();
        EXPECT_TRUE(IdentifyDevice(pass, *device));
        EXPECT_EQ(pass.ErrorCode, kPassOk);
        EXPECT_EQ(device->FirmwareVersion.Tag, c.Tag);
        EXPECT_EQ(device->FirmwareVersion.VersionNumber, c.Number);
        EXPECT_EQ(device->FirmwareVersion.Suffix, c.Suffix);
        // Answered at the first attempt.
        EXPECT_EQ(TextCommands(bench.Sim.Trace(serial)).count("FL_READ_VERSION$"), 1);
    }
}

TEST_F(Identify, AnNrfApplicationComesBackInItsBootloader)
{
    // On a COM port the line stays while the tracker restarts behind it.
    sim::TSimTracker tracker = TestTracker(3300001, TSimLink::ComPort, TSimMode::Application);
    tracker.RebootDelayMs = 0;
    auto device = bench.Add(tracker);
    TPassContext pass = Pass(kNrfImage);
    EXPECT_TRUE(IdentifyDevice(pass, *device));
    EXPECT_TRUE(device->NrfFamily);
    EXPECT_EQ(device->StartOffset, 0x1000u);
    EXPECT_EQ(device->SdRequirement, 0x00A80000u);
    EXPECT_TRUE(device->InBootloader);
    EXPECT_TRUE(device->LoaderStarted);
    // No bootloader details after an nRF loader start.
    EXPECT_TRUE(device->BootloaderVersion.Tag.isEmpty());
    EXPECT_EQ(device->ProcessorId, 0u);
    const auto trace = bench.Sim.Trace(3300001);
    EXPECT_EQ(RecordCommands(trace), (std::vector<uint16_t>{4, 4}));
    EXPECT_EQ(TextCommands(trace),
              (QList<QByteArray>{"FL_READ_VERSION$", "START_NRF_BOOT_LOADER"}));
    EXPECT_EQ(Messages(), (std::vector<int>{msg::SendingLoaderStart, msg::LoaderStartDone}));
}

TEST_F(Identify, AnNrfTrackerThatDoesNotComeBackIsError8)
{
    // Behind a USB link the restarting tracker takes its link with it.
    auto device = bench.Add(TestTracker(3300002, TSimLink::Ftdi, TSimMode::Application));
    TPassContext pass = Pass(kNrfImage);
    EXPECT_FALSE(IdentifyDevice(pass, *device));
    EXPECT_EQ(pass.ErrorCode, kPassNoAnswer);
    EXPECT_FALSE(device->InBootloader);
    EXPECT_TRUE(device->LoaderStarted);
    EXPECT_EQ(device->FtdiHandle, nullptr);
}

TEST_F(Identify, AnNrfImageGivesEveryDeviceTheLongerTimeOuts)
{
    // Replies 700 ms late: too late for 100 ms and 500 ms, in time for 1000 and 3000 ms.
    sim::TSimTracker tracker = TestTracker(3300003, TSimLink::MakerUsb);
    tracker.Faults.ReplyDelayMs = 700;
    auto device = bench.Add(tracker);
    TPassContext pass = Pass(kNrfImage);
    EXPECT_TRUE(IdentifyDevice(pass, *device));
    EXPECT_TRUE(device->InBootloader);
    EXPECT_EQ(device->BootloaderVersion.Tag, "STL4");
    EXPECT_EQ(device->ProcessorId, 0x00400419u);
    EXPECT_EQ(RecordCommands(bench.Sim.Trace(3300003)), (std::vector<uint16_t>{4, 5, 10}));
}

TEST_F(Identify, LinkAndImageFailures)
{
    // A device that is not there: nothing sent, nothing logged, error 7.
    {
        TDevEntry absent(QByteArray("3400009"), kNoUsbNumber, lkFtdi);
        TPassContext pass = Pass();
        EXPECT_FALSE(IdentifyDevice(pass, absent));
        EXPECT_EQ(pass.ErrorCode, kPassLinkOpen);
        EXPECT_EQ(loads, 0);
    }
    // An image that cannot be loaded: error 1, the image's properties cleared, and the
    // device is identified all the same.
    {
        auto device = bench.Add(TestTracker(3400001, TSimLink::MakerUsb));
        device->NrfFamily = true;
        device->SdRequirement = 7;
        TPassContext pass = Pass(QByteArray("not an image"));
        EXPECT_FALSE(IdentifyDevice(pass, *device));
        EXPECT_EQ(pass.ErrorCode, kPassImageLoad);
        EXPECT_FALSE(device->NrfFamily);
        EXPECT_EQ(device->SdRequirement, 0u);
        EXPECT_TRUE(device->InBootloader);
        // An earlier error skips the bootloader details.
        EXPECT_EQ(RecordCommands(bench.Sim.Trace(3400001)), (std::vector<uint16_t>{4}));
    }
}

TEST_F(Identify, AnExceptionOfTheImageLoadClosesTheLinkAndGoesOn)
{
    auto device = bench.Add(TestTracker(3500001, TSimLink::Ftdi));
    TPassContext pass(bench.Channel, handOver, log, bench.Options,
                      [](FirmwareList&, TFirmwareVersion&) -> bool { throw TFirmwareBlockTooBig(); });
    EXPECT_THROW(IdentifyDevice(pass, *device), TFirmwareBlockTooBig);
    EXPECT_EQ(device->FtdiHandle, nullptr);
    EXPECT_TRUE(bench.Sim.Trace(3500001).empty());
    // The link really is free again.
    TPassContext again = Pass();
    EXPECT_TRUE(IdentifyDevice(again, *device));
}


namespace {

// An application firmware on a COM port whose answer to the loader start the test
// chooses (the simulated one always starts): it answers the version text and then the
// start command with the given reply, or not at all when the reply is empty.
class TScriptedApplication {
public:
    TScriptedApplication(TPtyFarEnd& far, QByteArray startReply)
        : far_(far), startReply_(std::move(startReply)), thread_([this] { Serve(); })
    {
    }
    ~TScriptedApplication()
    {
        stop_ = true;
        thread_.join();
    }

private:
    static QByteArray Frame(const QByteArray& data)
    {
        uint8_t frame[kMaxFrameSize];
        const int n = BuildReplyFrame(kTunnelCommand, 0, reinterpret_cast<const uint8_t*>(data.constData()),
                                      int(data.size()), frame);
        return QByteArray(reinterpret_cast<const char*>(frame), n);
    }
    void Serve()
    {
        while (!stop_) {
            const QByteArray frame = far_.Receive(20);
            if (frame.size() <= kFrameOverhead)
                continue;
            const QByteArray payload = frame.mid(kFrameDataOffset, frame.size() - kFrameOverhead);
            if (payload == kReadVersionCommand)
                far_.Send(Frame("QRGX-13.38"));
            else if (payload.startsWith("START_BOOT_LOADER=") && !startReply_.isEmpty())
                far_.Send(Frame(startReply_));
        }
    }
    TPtyFarEnd& far_;
    QByteArray startReply_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

TEST_F(Identify, TheAnswerToTheLoaderStartDecidesItsMessage)
{
    struct TCase {
        QByteArray Reply;
        bool Started;
        int Message;
        QString Text;
    } cases[] = {
        {"STARTED\r\nready", true, msg::LoaderStartDone, {}},
        {"START ERROR 3", false, msg::BootloaderError, {}},
        {"started", false, msg::UnknownReply, "Unknown device reply: started"},
        {"", false, msg::NoReply, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Reply.constData());
        log.Lines.clear();
        TPtyFarEnd far;
        ASSERT_TRUE(far.Valid());
        bench.Options.UseComPort = true;
        bench.Options.SetComPortName(far.SlavePath());
        TDevEntry device(4100001, lkComPort);
        {
            TScriptedApplication application(far, c.Reply);
            TPassContext pass = Pass();
            EXPECT_TRUE(IdentifyDevice(pass, device));
        }
        EXPECT_FALSE(device.InBootloader);
        EXPECT_EQ(device.LoaderStarted, c.Started);
        EXPECT_EQ(device.FirmwareVersion.VersionNumber, 1338);
        EXPECT_EQ(Messages(), (std::vector<int>{msg::SendingLoaderStart, c.Message}));
        ASSERT_EQ(log.Lines.size(), 2u);
        EXPECT_EQ(log.Lines[1].Kind, c.Started ? lkInfo : lkError);
        EXPECT_EQ(log.Lines[1].Device, 4100001);
        if (!c.Text.isEmpty()) {
            EXPECT_EQ(log.Lines[1].Text, c.Text);
        }
        EXPECT_FALSE(bench.Channel.ComIsOpen());
    }
}
