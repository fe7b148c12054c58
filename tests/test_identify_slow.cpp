// Identification cases that wait out the device time-outs in full (label "slow").

#include "IdentifyFixture.h"

using namespace ql;
using namespace ql::test;
using sim::TSimLink;
using sim::TSimMode;

TEST_F(Identify, ASilentDeviceCostsFourVersionAttemptsAndError8)
{
    sim::TSimTracker tracker = TestTracker(3600001, TSimLink::MakerUsb, TSimMode::Application);
    tracker.Faults.Silent = true;
    auto device = bench.Add(tracker);
    TPassContext pass = Pass();
    EXPECT_FALSE(IdentifyDevice(pass, *device));
    EXPECT_EQ(pass.ErrorCode, kPassNoAnswer);
    EXPECT_FALSE(device->InBootloader);
    EXPECT_EQ(device->FirmwareVersion.VersionNumber, 0);
    const auto trace = bench.Sim.Trace(3600001);
    EXPECT_EQ(RecordCommands(trace), (std::vector<uint16_t>{4}));
    EXPECT_EQ(TextCommands(trace).size(), 4);
    EXPECT_TRUE(log.Lines.empty());
}
