// The simulator seen through the stand-in driver libraries, byte for byte as the loader
// speaks to a tracker over an FTDI bridge or the maker's USB interface.

#include "links/LoaderRecord.h"
#include "sim/RequestAssembler.h"
#include "sim/Simulator.h"
#include "tests/Bytes.h"
#include "tests/SimFixture.h"

#include <QtEndian>

#include <memory>
#include <thread>

namespace ql::test {
namespace {

using sim::TSimFaults;
using sim::TSimLink;
using sim::TSimMode;

constexpr uint32_t kFtdiSerial = 1000001;
constexpr uint32_t kUsbSerial = 1000002;
constexpr uint16_t kUsbTag = 7;

// Map 7 (processor 0x00400419): sector 5 is the first writable one, 128 KB at 0x08020000.
constexpr uint16_t kSector5 = 5;
constexpr uint32_t kSector5Start = 0x08020000;
constexpr uint32_t kSectorSize = 0x20000;
constexpr uint32_t kPiece = 512;

TLoaderHeader Header(const QByteArray& reply)
{
    TLoaderHeader h;
    ReadLoaderHeader(U8(reply), size_t(reply.size()), h);
    return h;
}

QByteArray Piece(uint16_t command, uint16_t sector, uint32_t address, const QByteArray& data)
{
    return BuildLoaderRecord(command, sector, address, U8(data), size_t(data.size()));
}

QByteArray Pattern(int size, int seed)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed) & 0xFF);
    return bytes;
}

class SimUsbTest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        auto ftdi = TestTracker(kFtdiSerial, TSimLink::Ftdi);
        auto usb = TestTracker(kUsbSerial, TSimLink::MakerUsb, TSimMode::Application);
        usb.UsbTag = kUsbTag;
        usb.RebootDelayMs = 200;  // long enough to look at it while it is off the bus
        ASSERT_TRUE(Sim.AddTracker(ftdi));
        ASSERT_TRUE(Sim.AddTracker(usb));
        Events.Take();
    }

    // Sets the faults and opens the tracker as the loader would.
    TLoaderLink& OpenWith(uint32_t serial, const TSimFaults& faults)
    {
        EXPECT_TRUE(Sim.SetFaults(serial, faults));
        Link = std::make_unique<TLoaderLink>(Libs, serial != kUsbSerial);
        EXPECT_TRUE(Link->Open(serial, kUsbTag));
        return *Link;
    }
    std::unique_ptr<TLoaderLink> Link;
};

TEST_F(SimUsbTest, FtdiListShowsSerialAndDescriptionWhereTheLoaderReadsThem)
{
    ftdi::DWORD count = 0;
    ASSERT_EQ(Libs.FT_CreateDeviceInfoList(&count), ftdi::FT_OK);
    ASSERT_EQ(count, 1u);
    std::vector<uint8_t> raw(sizeof(ftdi::FT_DEVICE_LIST_INFO_NODE) * count, 0xAA);
    ASSERT_EQ(Libs.FT_GetDeviceInfoList(reinterpret_cast<ftdi::FT_DEVICE_LIST_INFO_NODE*>(raw.data()),
                                        &count), ftdi::FT_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&raw[16]), "1000001");
    EXPECT_STREQ(reinterpret_cast<const char*>(&raw[32]), "Quillomar");
}

TEST_F(SimUsbTest, MakerUsbListGivesCountThenTwentyFiveByteRecords)
{
    uint32_t count = 5;
    ASSERT_EQ(Libs.MV_GetListDevices(qlusb::kListSelector, nullptr, &count), qlusb::MV_OK);
    ASSERT_EQ(count, 1u);
    std::vector<uint8_t> records(count * qlusb::kDeviceRecordSize, 0xAA);
    ASSERT_EQ(Libs.MV_GetListDevices(qlusb::kListSelector, records.data(), &count), qlusb::MV_OK);
    EXPECT_EQ(qFromLittleEndian<uint16_t>(&records[2]), kUsbTag);
    EXPECT_STREQ(reinterpret_cast<const char*>(&records[4]), "1000002");
    EXPECT_EQ(records[24], 0);
}

TEST_F(SimUsbTest, SocketIsLookedUpAtEachEnumerationAndOpen)
{
    const QByteArray path = qgetenv("QLSIM_SOCKET");
    qunsetenv("QLSIM_SOCKET");
    ftdi::DWORD count = 9;
    EXPECT_EQ(Libs.FT_CreateDeviceInfoList(&count), ftdi::FT_OK);
    EXPECT_EQ(count, 0u);
    TLoaderLink link(Libs, true);
    EXPECT_FALSE(link.Open(kFtdiSerial));
    qputenv("QLSIM_SOCKET", path);
    Libs.FT_CreateDeviceInfoList(&count);
    EXPECT_EQ(count, 1u);
    EXPECT_TRUE(link.Open(kFtdiSerial));
}

TEST_F(SimUsbTest, OpenFindsOnlyATrackerOnItsOwnLink)
{
    TLoaderLink wrongLink(Libs, true);
    EXPECT_FALSE(wrongLink.Open(kUsbSerial));
    TLoaderLink wrongTag(Libs, false);
    EXPECT_FALSE(wrongTag.Open(kUsbSerial, kUsbTag + 1));
    TLoaderLink right(Libs, false);
    EXPECT_TRUE(right.Open(kUsbSerial, kUsbTag));
}

TEST_F(SimUsbTest, BootloaderAnswersIdentificationRequests)
{
    TLoaderLink link(Libs, true);
    ASSERT_TRUE(link.Open(kFtdiSerial));
    const QByteArray version = link.Exchange(Hex("0E 00 0E 00 04 00 0A 00 00 00 00 00 2A 00"), 100);
    ASSERT_TRUE(IsAcceptedReply(U8(version), size_t(version.size())));
    EXPECT_EQ(ReplyVersionText(U8(version), size_t(version.size())), "QRGX-13.38");
    EXPECT_EQ(Header(version).TotalLength, version.size());
    EXPECT_TRUE(LoaderChecksumValid(U8(version), size_t(version.size())));

    const QByteArray loader = link.Exchange(Hex("0E 00 0E 00 05 00 0A 00 00 00 00 00 2B 00"), 500);
    EXPECT_EQ(ReplyVersionText(U8(loader), size_t(loader.size())), "STL4-1.05TR");
    const QByteArray cpu = link.Exchange(Hex("0E 00 0E 00 0A 00 0A 00 00 00 00 00 30 00"), 500);
    ASSERT_TRUE(IsAcceptedReply(U8(cpu), size_t(cpu.size())));
    EXPECT_EQ(ReplyProcessorId(U8(cpu), size_t(cpu.size())), 0x00400419u);

    // The bootloader does not speak the application's text.
    EXPECT_TRUE(link.Exchange("FL_READ_VERSION$", 50).isEmpty());

    const auto trace = Sim.Trace(kFtdiSerial);
    ASSERT_EQ(trace.size(), 4u);
    EXPECT_EQ(trace[0].Command, kCmdFirmwareVersion);
    EXPECT_EQ(trace[0].Argument16, kDefaultArgument);
    EXPECT_EQ(trace[0].Length, 14u);
    EXPECT_TRUE(trace[3].Text);
    EXPECT_EQ(trace[3].Bytes, "FL_READ_VERSION$");
}

TEST_F(SimUsbTest, ApplicationStartsItsBootloaderAndComesBackInIt)
{
    TLoaderLink link(Libs, false);
    ASSERT_TRUE(link.Open(kUsbSerial, kUsbTag));
    EXPECT_TRUE(link.Exchange(BuildSimpleRequest(kCmdFirmwareVersion), 100).isEmpty());
    EXPECT_EQ(link.Exchange("FL_READ_VERSION$", 2000, 100), "QRGX-13.38");
    EXPECT_EQ(link.Exchange("START_BOOT_LOADER=0", 1000, 1023), "STARTED");

    // Off the bus: the open handle fails, the list no longer shows it.
    EXPECT_FALSE(Sim.Present(kUsbSerial));
    uint32_t written = 0;
    const uint8_t byte = 0;
    EXPECT_NE(Libs.MV_Write(link.Usb, &byte, 1, &written), qlusb::MV_OK);
    uint32_t count = 5;
    Libs.MV_GetListDevices(qlusb::kListSelector, nullptr, &count);
    EXPECT_EQ(count, 0u);
    link.Close();

    ASSERT_TRUE(WaitFor([&] { return Sim.Present(kUsbSerial); }));
    EXPECT_EQ(Sim.Mode(kUsbSerial), TSimMode::Bootloader);
    ASSERT_TRUE(link.Open(kUsbSerial, kUsbTag));
    const QByteArray reply = link.Exchange(BuildSimpleRequest(kCmdFirmwareVersion), 100);
    EXPECT_TRUE(IsAcceptedReply(U8(reply), size_t(reply.size())));
    // One event when it dropped off, one when it came back.
    EXPECT_EQ(Events.Take(), "77");
}

TEST_F(SimUsbTest, NrfLoaderStartIsAnsweredToo)
{
    TLoaderLink link(Libs, false);
    ASSERT_TRUE(link.Open(kUsbSerial, kUsbTag));
    EXPECT_EQ(link.Exchange("START_NRF_BOOT_LOADER", 3000, 1023), "STARTED");
    EXPECT_FALSE(Sim.Present(kUsbSerial));
}

TEST_F(SimUsbTest, ErasedAndWrittenSectorHoldsThePiecesExactly)
{
    Sim.FillFlash(kFtdiSerial, 0x00);  // not erased: writing without the erase would show
    TLoaderLink link(Libs, true);
    ASSERT_TRUE(link.Open(kFtdiSerial));
    const QByteArray erase = link.Exchange(BuildLoaderRecord(kCmdEraseOld, kSector5, kSector5Start),
                                           3000, 14);
    ASSERT_EQ(erase.size(), 14);
    EXPECT_EQ(Header(erase).Command, kStatusAccepted);
    EXPECT_EQ(Header(erase).Argument16, kSector5);
    EXPECT_EQ(Header(erase).Argument32, kSector5Start);

    const QByteArray data = Pattern(int(kSectorSize), 3);
    for (uint32_t p = 0; p < kSectorSize / kPiece; ++p) {
        const uint32_t address = kSector5Start + p * kPiece;
        const QByteArray reply = link.Exchange(
            Piece(kCmdWriteOld, kSector5, address, data.mid(int(p * kPiece), int(kPiece))), 6000, 14);
        ASSERT_EQ(reply.size(), 14) << "piece " << p;
        ASSERT_EQ(Header(reply).Command, kStatusAccepted);
        ASSERT_EQ(Header(reply).Argument32, address);
    }
    EXPECT_EQ(Sim.FlashStart(kFtdiSerial), kSector5Start);
    const QByteArray flash = Sim.Flash(kFtdiSerial);
    EXPECT_EQ(flash.size(), 0x08100000 - 0x08020000);
    EXPECT_EQ(flash.left(int(kSectorSize)), data);
    EXPECT_EQ(flash.at(int(kSectorSize)), char(0x00));  // the next sector was not touched

    for (uint16_t command : {kCmdFinish, kCmdStartApplication}) {
        const QByteArray reply = link.Exchange(BuildSimpleRequest(command), 100);
        EXPECT_EQ(Header(reply).Command, kStatusAccepted);
    }
    // Starting the application reboots the tracker into it.
    ASSERT_TRUE(WaitFor([&] { return Sim.Mode(kFtdiSerial) == TSimMode::Application
                                     && Sim.Present(kFtdiSerial); }));
}

struct TRefusalCase {
    const char* Name;
    QByteArray Request;
    uint16_t Status;
};

TEST_F(SimUsbTest, BootloaderRefusesWhatItCannotCarryOut)
{
    QByteArray badChecksum = Piece(kCmdWriteOld, kSector5, kSector5Start, Pattern(512, 1));
    badChecksum[20] = char(badChecksum[20] ^ 1);
    const TRefusalCase cases[] = {
        {"bad checksum", badChecksum, 0x81},
        {"bootloader sector", BuildLoaderRecord(kCmdEraseOld, 2, 0x08008000), kStatusProtected},
        {"address is not the sector's start", BuildLoaderRecord(kCmdEraseOld, 5, 0x08020200), 0x81},
        {"sector beyond the map", BuildLoaderRecord(kCmdEraseOld, 12, 0x08100000), 0x81},
        {"piece outside its sector", Piece(kCmdWriteOld, 5, 0x08040000 - 256, Pattern(512, 1)), 0x81},
        {"unknown command", BuildSimpleRequest(99), 0x81},
    };
    TLoaderLink link(Libs, true);
    ASSERT_TRUE(link.Open(kFtdiSerial));
    for (const auto& c : cases) {
        const QByteArray reply = link.Exchange(c.Request, 1000);
        ASSERT_GE(reply.size(), 14) << c.Name;
        EXPECT_EQ(Header(reply).Command, c.Status) << c.Name;
    }
    EXPECT_EQ(Sim.Flash(kFtdiSerial), QByteArray(0x08100000 - 0x08020000, char(0xFF)));
}

TEST_F(SimUsbTest, CommandPairFollowsProcessorAndBootloaderVersion)
{
    struct TCase {
        uint32_t Processor;
        const char* Bootloader;
        uint16_t Erase;
        uint16_t Status;
    };
    const TCase cases[] = {
        {0x00400419, "STL4-1.05TR", kCmdErase, kStatusAccepted},     // 1.04 on: both pairs
        {0x00400419, "STL4-1.03", kCmdErase, 0x81},                  // older: only 1/2
        {0x00400419, "STL4-1.03", kCmdEraseOld, kStatusAccepted},
        {0x25013F37, "STL4-1.05", kCmdEraseOld, 0x81},               // listed: only 6/7
    };
    uint32_t serial = 2000000;
    for (const auto& c : cases) {
        auto t = TestTracker(++serial, TSimLink::Ftdi);
        t.ProcessorId = c.Processor;
        t.BootloaderVersion = c.Bootloader;
        ASSERT_TRUE(Sim.AddTracker(t));
        TLoaderLink link(Libs, true);
        ASSERT_TRUE(link.Open(serial));
        const uint32_t start = c.Processor == 0x00400419 ? kSector5Start : 0x0000A000;
        const uint16_t sector = c.Processor == 0x00400419 ? 5 : 10;
        const QByteArray reply = link.Exchange(BuildLoaderRecord(c.Erase, sector, start), 1000);
        EXPECT_EQ(Header(reply).Command, c.Status) << c.Bootloader << " " << c.Erase;
    }
}

TEST_F(SimUsbTest, GarbageAndOversizedRecordsAreRefusedOrDroppedAndTheTrackerGoesOn)
{
    TLoaderLink link(Libs, false);
    ASSERT_TRUE(link.Open(kUsbSerial, kUsbTag));
    EXPECT_EQ(link.Exchange("START_BOOT_LOADER=1", 1000, 1023), "STARTED");
    link.Close();
    ASSERT_TRUE(WaitFor([&] { return Sim.Present(kUsbSerial); }));
    ASSERT_TRUE(link.Open(kUsbSerial, kUsbTag));

    // Stray bytes before a request may swallow it (here 02 03 0E 00 reads as the start of
    // a 770-byte record); after a pause the receiver starts afresh.
    QByteArray reply = link.Exchange(Hex("01 02 03") + BuildSimpleRequest(kCmdProcessorId), 100);
    EXPECT_TRUE(reply.isEmpty());
    QThread::msleep(sim::kIdleResetMs + 50);
    reply = link.Exchange(BuildSimpleRequest(kCmdProcessorId), 500);
    EXPECT_EQ(ReplyProcessorId(U8(reply), size_t(reply.size())), 0x00400419u);
    // A stray byte that cannot start a record is dropped at once.
    reply = link.Exchange(Hex("FF") + BuildSimpleRequest(kCmdProcessorId), 500);
    EXPECT_EQ(ReplyProcessorId(U8(reply), size_t(reply.size())), 0x00400419u);

    // A record that claims 2000 bytes: refused once, its bytes skipped.
    QByteArray oversized = BuildLoaderRecord(kCmdWrite, 5, kSector5Start, nullptr, 0);
    qToLittleEndian<uint16_t>(2000, oversized.data());
    oversized += QByteArray(2000 - 14, char(0x5A));
    reply = link.Exchange(oversized, 500);
    EXPECT_EQ(Header(reply).Command, 0x81);
    EXPECT_TRUE(link.Read(30).isEmpty());
    reply = link.Exchange(BuildSimpleRequest(kCmdBootloaderVersion), 500);
    EXPECT_EQ(ReplyVersionText(U8(reply), size_t(reply.size())), "STL4-1.05TR");
}

// ---- faults ----

struct TFaultCase {
    const char* Name;
    TSimFaults Faults;
    QByteArray Request;
    uint16_t Status;      // expected status of a 14-byte reply
    uint16_t Sector = 5;  // expected 16-bit argument
};

TSimFaults With(const std::function<void(TSimFaults&)>& set)
{
    TSimFaults f;
    set(f);
    return f;
}

TEST_F(SimUsbTest, FaultsChooseTheStatusAndEchoOfReplies)
{
    const QByteArray erase = BuildLoaderRecord(kCmdEraseOld, kSector5, kSector5Start);
    const QByteArray piece = Piece(kCmdWriteOld, kSector5, kSector5Start, Pattern(512, 9));
    const QByteArray compat = BuildLoaderRecord(kCmdFirmwareCompatibility, 10, 0,
                                                U8(QByteArray("QRGX-13.39-a6")), 13);
    QByteArray sd(4, char(0xFF));
    const QByteArray sdCompat = BuildLoaderRecord(kCmdSdCompatibility, 10, 0, U8(sd), 4);
    const TFaultCase cases[] = {
        {"erase protected", With([](auto& f) { f.EraseStatus = 0x83; }), erase, 0x83},
        {"erase locked", With([](auto& f) { f.EraseStatus = 0x8A; }), erase, 0x8A},
        {"write any status", With([](auto& f) { f.WriteStatus = 0x99; }), piece, 0x99},
        {"write status on another piece", With([](auto& f) { f.WriteStatus = 0x99; f.WriteStatusPiece = 1; }),
         piece, kStatusAccepted},
        {"firmware too old", With([](auto& f) { f.FirmwareCompatibilityStatus = 0x8B; }), compat, 0x8B, 10},
        {"SD refused", With([](auto& f) { f.SdCompatibilityStatus = 0x88; }), sdCompat, 0x88, 10},
        {"compatible", TSimFaults{}, compat, kStatusAccepted, 10},
        {"wrong sector echo", With([](auto& f) { f.WrongSectorEcho = true; }), erase, kStatusAccepted, 6},
    };
    for (const auto& c : cases) {
        TLoaderLink& link = OpenWith(kFtdiSerial, c.Faults);
        const QByteArray reply = link.Exchange(c.Request, 1000);
        ASSERT_EQ(reply.size(), 14) << c.Name;
        EXPECT_EQ(Header(reply).Command, c.Status) << c.Name;
        EXPECT_EQ(Header(reply).Argument16, c.Sector) << c.Name;
    }
}

TEST_F(SimUsbTest, RefusedByAFaultMeansNotCarriedOut)
{
    Sim.FillFlash(kFtdiSerial, 0x00);
    TSimFaults faults;
    faults.EraseStatus = kStatusProtected;
    faults.WriteStatus = kStatusLocked;
    TLoaderLink& link = OpenWith(kFtdiSerial, faults);
    link.Exchange(BuildLoaderRecord(kCmdEraseOld, kSector5, kSector5Start), 1000);
    EXPECT_EQ(Sim.Flash(kFtdiSerial).at(0), char(0x00));  // not erased
    Sim.FillFlash(kFtdiSerial, 0xFF);
    link.Exchange(Piece(kCmdWriteOld, kSector5, kSector5Start, QByteArray(512, 'x')), 1000);
    EXPECT_EQ(Sim.Flash(kFtdiSerial).at(0), char(0xFF));  // not written
}

TEST_F(SimUsbTest, WriteStatusForOnePieceCountsPiecesOfTheSession)
{
    TSimFaults faults;
    faults.WriteStatus = 0x8A;
    faults.WriteStatusPiece = 2;
    TLoaderLink& link = OpenWith(kFtdiSerial, faults);
    std::vector<uint16_t> statuses;
    for (uint32_t p = 0; p < 4; ++p)
        statuses.push_back(Header(link.Exchange(
            Piece(kCmdWriteOld, 5, kSector5Start + p * kPiece, Pattern(512, 0)), 1000)).Command);
    EXPECT_EQ(statuses, (std::vector<uint16_t>{0x80, 0x80, 0x8A, 0x80}));
}

TEST_F(SimUsbTest, ShortRepliesCutTheNextRepliesOneByteShort)
{
    TSimFaults faults;
    faults.ShortReplies = 2;
    TLoaderLink& link = OpenWith(kFtdiSerial, faults);
    const QByteArray erase = BuildLoaderRecord(kCmdEraseOld, kSector5, kSector5Start);
    EXPECT_EQ(link.Exchange(erase, 1000, 14).size(), 13);
    EXPECT_EQ(link.Exchange(erase, 1000, 14).size(), 13);
    EXPECT_EQ(link.Exchange(erase, 1000, 14).size(), 14);
}

TEST_F(SimUsbTest, CorruptRepliesInvertTheMiddleByteOfTheNextReplies)
{
    TSimFaults faults;
    faults.CorruptReplies = 1;
    TLoaderLink& link = OpenWith(kFtdiSerial, faults);
    const QByteArray erase = BuildLoaderRecord(kCmdEraseOld, kSector5, kSector5Start);
    EXPECT_EQ(Header(link.Exchange(erase, 1000, 14)).Argument16, kSector5 ^ 0xFF00);
    EXPECT_EQ(Header(link.Exchange(erase, 1000, 14)).Argument16, kSector5);
}

TEST_F(SimUsbTest, SilentTrackerIsListedButAnswersNothing)
{
    TSimFaults faults;
    faults.Silent = true;
    TLoaderLink& link = OpenWith(kUsbSerial, faults);
    EXPECT_TRUE(link.Exchange("FL_READ_VERSION$", 50).isEmpty());
    EXPECT_EQ(Sim.Trace(kUsbSerial).size(), 1u);
}

TEST_F(SimUsbTest, DelayedReplyIsQueuedWholeAndOnlyAfterTheDelay)
{
    TSimFaults faults;
    faults.ReplyDelayMs = 150;
    TLoaderLink& link = OpenWith(kFtdiSerial, faults);
    ASSERT_TRUE(link.Send(BuildSimpleRequest(kCmdBootloaderVersion)));
    EXPECT_TRUE(link.Read(20).isEmpty());
    const QByteArray reply = link.Read(2000);
    EXPECT_EQ(ReplyVersionText(U8(reply), size_t(reply.size())), "STL4-1.05TR");
    EXPECT_EQ(Header(reply).TotalLength, reply.size());
}

TEST_F(SimUsbTest, TrackerVanishesAfterItsWritePieces)
{
    TSimFaults faults;
    faults.VanishAfterWritePieces = 2;
    TLoaderLink& link = OpenWith(kFtdiSerial, faults);
    for (uint32_t p = 0; p < 2; ++p)
        EXPECT_EQ(link.Exchange(Piece(kCmdWriteOld, 5, kSector5Start + p * kPiece, Pattern(512, 0)),
                                1000).size(), 14);
    EXPECT_TRUE(link.Exchange(Piece(kCmdWriteOld, 5, kSector5Start + 2 * kPiece, Pattern(512, 0)),
                              50).isEmpty());
    ASSERT_TRUE(WaitFor([&] { return !Sim.Present(kFtdiSerial); }));
    ftdi::DWORD rx = 0, tx = 0, ev = 0, written = 0;
    EXPECT_NE(Libs.FT_GetStatus(link.Ftdi, &rx, &tx, &ev), ftdi::FT_OK);
    char byte = 0;
    EXPECT_NE(Libs.FT_Write(link.Ftdi, &byte, 1, &written), ftdi::FT_OK);
    TLoaderLink again(Libs, true);
    EXPECT_FALSE(again.Open(kFtdiSerial));
    EXPECT_EQ(Events.Take(), "7");
}

// ---- hot-plug and many trackers ----

TEST_F(SimUsbTest, TrackersComeAndGoWhileItRuns)
{
    ASSERT_TRUE(Sim.AddTracker(TestTracker(3000001, TSimLink::Ftdi)));
    EXPECT_FALSE(Sim.AddTracker(TestTracker(3000001, TSimLink::MakerUsb)));  // serial taken
    ftdi::DWORD count = 0;
    Libs.FT_CreateDeviceInfoList(&count);
    EXPECT_EQ(count, 2u);
    TLoaderLink link(Libs, true);
    ASSERT_TRUE(link.Open(3000001));
    ASSERT_TRUE(Sim.RemoveTracker(3000001));
    EXPECT_FALSE(Sim.RemoveTracker(3000001));
    EXPECT_TRUE(link.Exchange(BuildSimpleRequest(kCmdFirmwareVersion), 50).isEmpty());
    Libs.FT_CreateDeviceInfoList(&count);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(Events.Take(), "77");
}

TEST_F(SimUsbTest, EightTrackersAreWrittenAtOnce)
{
    constexpr int kTrackers = 8;
    constexpr uint32_t kFirst = 4000001;
    for (int i = 0; i < kTrackers; ++i) {
        auto t = TestTracker(kFirst + i, i % 2 ? TSimLink::Ftdi : TSimLink::MakerUsb);
        t.UsbTag = uint16_t(10 + i);
        ASSERT_TRUE(Sim.AddTracker(t));
    }
    std::vector<std::thread> writers;
    std::vector<int> failures(kTrackers, 0);
    for (int i = 0; i < kTrackers; ++i) {
        writers.emplace_back([&, i] {
            TLoaderLink link(Libs, i % 2 == 1);
            if (!link.Open(kFirst + i, uint16_t(10 + i))) {
                failures[i] = -1;
                return;
            }
            for (uint32_t p = 0; p < 64; ++p) {
                const QByteArray reply = link.Exchange(
                    Piece(kCmdWriteOld, 5, kSector5Start + p * kPiece, Pattern(512, i)), 2000, 14);
                failures[i] += Header(reply).Command != kStatusAccepted;
            }
        });
    }
    for (auto& w : writers)
        w.join();
    for (int i = 0; i < kTrackers; ++i) {
        EXPECT_EQ(failures[i], 0) << i;
        EXPECT_EQ(Sim.Flash(kFirst + i).left(64 * 512), Pattern(64 * 512, i).left(64 * 512)) << i;
    }
}

}  // namespace
}  // namespace ql::test
