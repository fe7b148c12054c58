// One contract for every link (links/Link.h), run against each implementation on its
// own, without the channel's choice in front: FTDI over the D2XX stand-in, the maker's
// USB library's stand-in, and the COM link over a simulated tracker's pseudo-terminal.
// A new way of reaching trackers is one more row in kLinks.

#include "Bytes.h"
#include "SimBench.h"
#include "links/ComLink.h"
#include "links/D2xxPort.h"
#include "links/FtdiLink.h"
#include "links/LoaderRecord.h"
#include "links/MakerUsbLink.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>

using namespace ql;
using namespace ql::test;
using sim::TSimLink;

namespace {

// A link under test with what it runs over.
struct TLinkUnderTest {
    virtual ~TLinkUnderTest() = default;
    virtual TLink& Link() = 0;
};

struct TFtdiOverD2xx : TLinkUnderTest {
    TLink& Link() override { return link; }
    TD2xxPort port;
    TFtdiLink link{port};
};

struct TMakerUsb : TLinkUnderTest {
    TLink& Link() override { return link; }
    TMakerUsbLink link;
};

struct TCom : TLinkUnderTest {
    explicit TCom(const TLiveOptions& options) : link(options) {}
    TLink& Link() override { return link; }
    TComLink link;
};

struct TLinkCase {
    const char* Name;
    TSimLink Tracker;
    int32_t Kind;
    std::function<std::unique_ptr<TLinkUnderTest>(const TLiveOptions&)> Make;
};

void PrintTo(const TLinkCase& c, std::ostream* os) { *os << c.Name; }

const TLinkCase kLinks[] = {
    {"FtdiOverD2xx", TSimLink::Ftdi, lkFtdi,
     [](const TLiveOptions&) { return std::make_unique<TFtdiOverD2xx>(); }},
    {"MakerUsb", TSimLink::MakerUsb, lkMakerUsb,
     [](const TLiveOptions&) { return std::make_unique<TMakerUsb>(); }},
    {"Com", TSimLink::ComPort, lkComPort,
     [](const TLiveOptions& options) { return std::make_unique<TCom>(options); }},
};

class LinkContract : public ::testing::TestWithParam<TLinkCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(bench.Start());
        static uint32_t next = 5600000;
        const auto tracker = TestTracker(++next, GetParam().Tracker);
        ASSERT_TRUE(bench.Sim.AddTracker(tracker));
        // The options name the tracker's port for the COM link; the others ignore them.
        bench.Options.UseComPort = GetParam().Tracker == TSimLink::ComPort;
        if (bench.Options.UseComPort)
            bench.Options.SetComPortName(bench.Sim.ComPortPath(tracker.Serial));
        entry = std::make_unique<TLinkEntry>(int32_t(tracker.Serial), tracker.UsbTag, GetParam().Kind);
        under = GetParam().Make(bench.Options);
    }

    TLink& Link() { return under->Link(); }

    // Sends the version request; the reply's length, or 0.
    int VersionExchange(uint8_t* reply, int size)
    {
        const QByteArray request = BuildSimpleRequest(kCmdFirmwareVersion);
        int written = -1;
        if (!Link().Write(*entry, U8(request), int(request.size()), written))
            return 0;
        EXPECT_EQ(written, request.size()) << "written counts the device's own bytes";
        return Link().Read(*entry, reply, 1000, size);
    }

    TSimBench bench;
    std::unique_ptr<TLinkEntry> entry;
    std::unique_ptr<TLinkUnderTest> under;
};

}  // namespace

TEST_P(LinkContract, OnlyAnOpenLinkWritesAndReads)
{
    const QByteArray request = BuildSimpleRequest(kCmdFirmwareVersion);
    uint8_t reply[kMaxLoaderReply];
    int written = -1;
    // Never opened: nothing goes, nothing comes, and closing is harmless.
    EXPECT_FALSE(Link().Write(*entry, U8(request), int(request.size()), written));
    EXPECT_EQ(written, 0);
    EXPECT_EQ(Link().Read(*entry, reply, 50, sizeof reply), 0);
    Link().Close(*entry);

    ASSERT_TRUE(Link().Open(*entry, nullptr));
    const int got = VersionExchange(reply, sizeof reply);
    ASSERT_TRUE(IsAcceptedReply(reply, size_t(got)));
    EXPECT_EQ(ReplyVersionText(reply, size_t(got)), "QRGX-13.38");

    // Closed: the handles are gone and nothing goes out any more.
    Link().Close(*entry);
    EXPECT_EQ(entry->FtdiHandle, nullptr);
    EXPECT_EQ(entry->QlusbHandle, 0u);
    written = -1;
    EXPECT_FALSE(Link().Write(*entry, U8(request), int(request.size()), written));
    EXPECT_EQ(written, 0);
    EXPECT_EQ(Link().Read(*entry, reply, 50, sizeof reply), 0);
    EXPECT_EQ(bench.Sim.Trace(uint32_t(entry->SerialNumber)).size(), 1u);
}

TEST_P(LinkContract, AReplyIsNeverDeliveredBeyondTheBuffer)
{
    // The version reply is 25 bytes; a read with room for 14 takes 14 of them.
    ASSERT_TRUE(Link().Open(*entry, nullptr));
    uint8_t reply[32];
    std::fill(std::begin(reply), std::end(reply), uint8_t(0xAA));
    EXPECT_EQ(VersionExchange(reply, 14), 14);
    EXPECT_EQ(reply[14], 0xAA);
    Link().Close(*entry);
}

TEST_P(LinkContract, AResetOrAClosedLinkCanBeUsedAgain)
{
    // A link that kept the device after its close (a handle, the port's exclusive lock)
    // could not open it again.
    uint8_t reply[kMaxLoaderReply];
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(Link().Open(*entry, nullptr));
        Link().Reset(*entry);
        EXPECT_TRUE(IsAcceptedReply(reply, size_t(VersionExchange(reply, sizeof reply))));
        Link().Close(*entry);
    }
}

INSTANTIATE_TEST_SUITE_P(EachLink, LinkContract, ::testing::ValuesIn(kLinks),
                         [](const auto& info) { return std::string(info.param.Name); });
