// The simulator's COM trackers through their pseudo-terminals, spoken to as the loader's
// COM link does: raw request frames, tunnel frames of at most 90 bytes, reply frames
// collected until the whole collection passes the frame check.

#include "links/Frame.h"
#include "links/LoaderRecord.h"
#include "sim/ComLinePacing.h"
#include "sim/Simulator.h"
#include "tests/Bytes.h"
#include "tests/SimFixture.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QtEndian>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace ql::test {
namespace {

using sim::TSimFaults;
using sim::TSimLink;
using sim::TSimMode;

constexpr uint32_t kSerial = 1234567;

class TComPort {
public:
    ~TComPort() { Close(); }
    bool Open(const QString& path)
    {
        Fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (Fd < 0)
            return false;
        termios line{};
        ::tcgetattr(Fd, &line);
        ::cfmakeraw(&line);
        ::cfsetspeed(&line, B115200);
        return ::tcsetattr(Fd, TCSANOW, &line) == 0;
    }
    void Close()
    {
        if (Fd >= 0)
            ::close(Fd);
        Fd = -1;
    }
    bool Write(const QByteArray& bytes)
    {
        return ::write(Fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Sends the bytes in tunnel frames of at most 90 bytes.
    bool WriteTunnelled(const QByteArray& bytes)
    {
        for (qsizetype at = 0; at < bytes.size(); at += kMaxTunnelPayload) {
            uint8_t frame[kMaxFrameSize];
            const int n = BuildTunnelFrame(U8(bytes) + at,
                                           int(std::min<qsizetype>(kMaxTunnelPayload, bytes.size() - at)),
                                           frame);
            if (!Write(QByteArray(reinterpret_cast<char*>(frame), n)))
                return false;
        }
        return true;
    }
    // Collects bytes until they form one valid frame, as the loader's read does; all that
    // arrived when the time is up otherwise.
    QByteArray ReadFrame(int timeoutMs, bool* valid = nullptr)
    {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        if (valid)
            *valid = false;
        while (clock.elapsed() < timeoutMs) {
            pollfd p{Fd, POLLIN, 0};
            ::poll(&p, 1, 5);
            char b[256];
            const ssize_t n = ::read(Fd, b, sizeof(b));
            if (n > 0)
                got.append(b, n);
            if (got.size() >= 10 && got.size() <= 0xFFFF && CheckFrame(U8(got), uint16_t(got.size()))) {
                if (valid)
                    *valid = true;
                return got;
            }
        }
        return got;
    }
    // A tunnelled request and its unwrapped reply data.
    QByteArray Exchange(const QByteArray& request, int timeoutMs = 1000)
    {
        if (!WriteTunnelled(request))
            return {};
        bool valid = false;
        const QByteArray frame = ReadFrame(timeoutMs, &valid);
        if (!valid || frame.size() <= 14)
            return {};
        return frame.mid(kReplyDataOffset, frame.size() - 14);
    }
    int Fd = -1;
};

const QByteArray kSerialRequest = Hex("FE FF FF FF FF 0B 00 00 0A 17 FF");
const QByteArray kLoaderStartRequest = Hex("FE FF FF FF FF 0A 00 EF 60 C9");

class SimComTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        ASSERT_TRUE(Sim.AddTracker(TestTracker(kSerial, TSimLink::ComPort, TSimMode::Application)));
        ASSERT_FALSE(Sim.ComPortPath(kSerial).isEmpty());
        ASSERT_TRUE(Port.Open(Sim.ComPortPath(kSerial)));
        EXPECT_EQ(Events.Take(), "7");  // the tracker was plugged in
    }
    TComPort Port;
};

TEST_F(SimComTest, SerialNumberRequestGetsTheEighteenByteFrame)
{
    ASSERT_TRUE(Port.Write(kSerialRequest));
    bool valid = false;
    const QByteArray reply = Port.ReadFrame(2000, &valid);
    ASSERT_TRUE(valid);
    ASSERT_EQ(reply.size(), kSerialNumberReplyLength);
    EXPECT_EQ(reply.left(12), Hex("FE FF FF FF FF 12 00 0A 00 00 00 00"));
    EXPECT_EQ(qFromLittleEndian<uint32_t>(U8(reply) + 12), kSerial);
    const auto trace = Sim.Trace(kSerial);
    ASSERT_EQ(trace.size(), 1u);
    EXPECT_TRUE(trace[0].RawFrame);
    EXPECT_EQ(trace[0].Bytes, kSerialRequest);
    // The line's counters, which measurements set against the wire's floor.
    uint64_t in = 0, out = 0;
    ASSERT_TRUE(Sim.WireBytes(kSerial, in, out));
    EXPECT_EQ(in, uint64_t(kSerialRequest.size()));
    EXPECT_EQ(out, uint64_t(kSerialNumberReplyLength));
}

TEST_F(SimComTest, LoaderStartIsAcknowledgedAndTheTrackerRebootsIntoItsBootloader)
{
    ASSERT_TRUE(Port.Write(kLoaderStartRequest));
    bool valid = false;
    const QByteArray reply = Port.ReadFrame(2000, &valid);
    ASSERT_TRUE(valid);
    ASSERT_EQ(reply.size(), 14);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(U8(reply) + kReplyResultOffset), 0u);
    ASSERT_TRUE(WaitFor([&] { return Sim.Present(kSerial); }));
    EXPECT_EQ(Sim.Mode(kSerial), TSimMode::Bootloader);
    EXPECT_EQ(Events.Take(), "77");  // off the bus for the reboot, and back
    const QByteArray version = Port.Exchange(BuildSimpleRequest(kCmdBootloaderVersion));
    EXPECT_EQ(ReplyVersionText(U8(version), size_t(version.size())), "STL4-1.05TR");
}

TEST_F(SimComTest, TextCommandsTravelTunnelled)
{
    EXPECT_TRUE(Port.Exchange(BuildSimpleRequest(kCmdFirmwareVersion), 100).isEmpty());
    EXPECT_EQ(Port.Exchange("FL_READ_VERSION$", 2000), "QRGX-13.38");
    EXPECT_EQ(Port.Exchange("START_BOOT_LOADER=1", 1000), "STARTED");
    ASSERT_TRUE(WaitFor([&] { return Sim.Mode(kSerial) == TSimMode::Bootloader && Sim.Present(kSerial); }));
}

TEST_F(SimComTest, PiecesOfAWriteAreJoinedByTheRecordLength)
{
    Sim.SetFaults(kSerial, {});
    ASSERT_TRUE(Port.Write(kLoaderStartRequest));
    Port.ReadFrame(2000);
    ASSERT_TRUE(WaitFor([&] { return Sim.Present(kSerial); }));

    QByteArray data(512, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 13);
    const QByteArray piece = BuildLoaderRecord(kCmdWriteOld, 5, 0x08020000, U8(data), 512);
    ASSERT_TRUE(Port.WriteTunnelled(piece));  // 526 bytes: six frames
    bool valid = false;
    const QByteArray frame = Port.ReadFrame(6000, &valid);
    ASSERT_TRUE(valid);
    ASSERT_EQ(frame.size(), 28);
    EXPECT_EQ(uint8_t(frame[kFrameCommandOffset]), kTunnelCommand);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(U8(frame) + kReplyResultOffset), 0u);
    TLoaderHeader h;
    ReadLoaderHeader(U8(frame) + kReplyDataOffset, 14, h);
    EXPECT_EQ(h.Command, kStatusAccepted);
    EXPECT_EQ(h.Argument32, 0x08020000u);
    EXPECT_EQ(Sim.Flash(kSerial).left(512), data);
    EXPECT_EQ(Sim.Trace(kSerial).back().Length, 526u);
}

TEST_F(SimComTest, LineStaysUsableWhenThePortIsClosedAndOpenedAgain)
{
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(Port.Write(kSerialRequest));
        bool valid = false;
        Port.ReadFrame(2000, &valid);
        EXPECT_TRUE(valid) << round;
        Port.Close();
        ASSERT_TRUE(Port.Open(Sim.ComPortPath(kSerial)));
    }
}

TEST_F(SimComTest, QSerialPortOpensTheLineAgainAndAgain)
{
    Port.Close();
    for (int round = 0; round < 3; ++round) {
        QSerialPort port(Sim.ComPortPath(kSerial));
        ASSERT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();
        port.setBaudRate(115200);
        port.write(kSerialRequest);
        ASSERT_TRUE(port.waitForBytesWritten(1000));
        QByteArray reply;
        while (reply.size() < kSerialNumberReplyLength && port.waitForReadyRead(2000))
            reply += port.readAll();
        ASSERT_EQ(reply.size(), kSerialNumberReplyLength) << round;
        EXPECT_TRUE(CheckFrame(U8(reply), uint16_t(reply.size())));
        EXPECT_EQ(qFromLittleEndian<uint32_t>(U8(reply) + 12), kSerial);
        port.close();
    }
}

TEST_F(SimComTest, BrokenFramesAreIgnoredAndTheNextFrameIsAnswered)
{
    QByteArray badCrc = kSerialRequest;
    badCrc[9] = char(badCrc[9] ^ 0x55);
    QByteArray overlong = Hex("FE FF FF FF FF 70 00 F0");  // claims 112 bytes
    ASSERT_TRUE(Port.Write(badCrc + overlong + Hex("00 11") + kSerialRequest));
    bool valid = false;
    const QByteArray reply = Port.ReadFrame(2000, &valid);
    ASSERT_TRUE(valid);
    EXPECT_EQ(qFromLittleEndian<uint32_t>(U8(reply) + 12), kSerial);
}

TEST_F(SimComTest, StrayByteComesBeforeEachReplyFrame)
{
    TSimFaults faults;
    faults.StrayByteBeforeFrame = true;
    ASSERT_TRUE(Sim.SetFaults(kSerial, faults));
    ASSERT_TRUE(Port.Write(kSerialRequest));
    bool valid = true;
    const QByteArray got = Port.ReadFrame(300, &valid);
    EXPECT_FALSE(valid);  // the loader's read runs into its time-out
    ASSERT_EQ(got.size(), 19);
    EXPECT_TRUE(CheckFrame(U8(got) + 1, 18));
}

TEST_F(SimComTest, ACorruptReplyFrameFailsItsCheck)
{
    TSimFaults faults;
    faults.CorruptReplies = 1;
    ASSERT_TRUE(Sim.SetFaults(kSerial, faults));
    for (bool expected : {false, true}) {
        ASSERT_TRUE(Port.Write(kSerialRequest));
        bool valid = !expected;
        const QByteArray got = Port.ReadFrame(300, &valid);
        EXPECT_EQ(valid, expected);
        EXPECT_EQ(got.size(), kSerialNumberReplyLength);
    }
}

TEST_F(SimComTest, SilentTrackerIgnoresRawRequests)
{
    TSimFaults faults;
    faults.Silent = true;
    ASSERT_TRUE(Sim.SetFaults(kSerial, faults));
    ASSERT_TRUE(Port.Write(kSerialRequest));
    EXPECT_TRUE(Port.ReadFrame(100).isEmpty());
}

TEST_F(SimComTest, PacedWireTakesAtLeastTheTimeOfItsBytes)
{
    constexpr int kBaud = 9600;
    TSimFaults faults;
    faults.PaceBaud = kBaud;
    ASSERT_TRUE(Sim.SetFaults(kSerial, faults));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(Port.Write(kSerialRequest));
    bool valid = false;
    Port.ReadFrame(2000, &valid);
    ASSERT_TRUE(valid);
    // 11 bytes in, 18 bytes out, 10 bits each: about 30 ms on the wire at 9600 baud.
    const int wireMs = (11 + 18) * 10 * 1000 / kBaud;
    EXPECT_GE(clock.elapsed(), wireMs - 2);
}

// The pacing on its own clock: at no moment does the line hold a byte whose stop bit has
// not yet crossed the wire, and the reply's last byte is there the moment it has.
TEST(ComLinePacing, NoByteReachesTheLineBeforeItHasCrossedTheWire)
{
    struct TCase {
        const char* Name;
        int Baud;
        int Bytes;
        int64_t QueuedAtUs;  // the wire is idle then
    } cases[] = {
        {"a 28-byte reply at 115200 baud", 115200, 28, 5000},
        {"a reply that is not a whole number of batches, 9600 baud", 9600, 19, 0},
        {"one byte", 115200, 1, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const auto crossedBy = [&](int64_t us) { return (us - c.QueuedAtUs) * c.Baud / 10000000; };
        int line[2];
        ASSERT_EQ(::pipe2(line, O_NONBLOCK), 0);
        sim::TComLinePacing pacing;
        pacing.Queue(QByteArray(c.Bytes, 'x'), c.QueuedAtUs);
        int onLine = 0;
        const auto flushAt = [&](int64_t us) {
            pacing.Flush(line[1], us, c.Baud);
            char buffer[64];
            const ssize_t n = ::read(line[0], buffer, sizeof buffer);
            onLine += int(std::max<ssize_t>(n, 0));
            EXPECT_LE(onLine, crossedBy(us)) << "early at " << us;
        };
        int64_t last = -1;
        for (int64_t due = pacing.NextFlushUs(c.Baud); due != sim::kNothingDueUs;
             due = pacing.NextFlushUs(c.Baud)) {
            flushAt(due - 1);
            const int before = onLine;
            flushAt(due);
            ASSERT_GT(onLine, before) << "nothing when due at " << due;
            last = due;
        }
        EXPECT_EQ(onLine, c.Bytes);
        EXPECT_EQ(last, c.QueuedAtUs + sim::WireTimeUs(c.Bytes, c.Baud));
        ::close(line[0]);
        ::close(line[1]);
    }
}

// What the bench sets beside the wire's floor: the simulator's own lateness with a reply,
// and the line standing idle for the loader, split wherever it is read.
TEST(ComLinePacing, CountsItsLatenessAndTheLineWaitingForTheLoader)
{
    constexpr int kBaud = 115200;
    int line[2];
    ASSERT_EQ(::pipe2(line, O_NONBLOCK), 0);
    sim::TComLinePacing pacing;
    pacing.Queue(QByteArray(3, 'x'), 0);
    const int64_t due = pacing.NextFlushUs(kBaud);
    ASSERT_EQ(due, sim::WireTimeUs(3, kBaud));
    pacing.Flush(line[1], due + 40, kBaud);  // the thread woke 40 us late
    EXPECT_EQ(pacing.BytesOut(), 3u);
    EXPECT_EQ(pacing.LateUs(), 40);
    EXPECT_EQ(pacing.WaitingUs(due + 40 + 100), 100);
    pacing.Received(11, due + 40 + 250, kBaud);  // the loader's next request, 955 us on the wire
    EXPECT_EQ(pacing.WaitingUs(due + 40 + 250 + 900), 250) << "the request is crossing";
    // Its second part comes 100 us after the first has crossed: the line waited again.
    pacing.Received(5, due + 40 + 250 + sim::WireTimeUs(11, kBaud) + 100, kBaud);
    EXPECT_EQ(pacing.WaitingUs(due + 40 + 250 + sim::WireTimeUs(11, kBaud) + 200), 350);
    ::close(line[0]);
    ::close(line[1]);
}

}  // namespace
}  // namespace ql::test
