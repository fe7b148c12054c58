// The compatibility rules that decide without asking the device: the generation rule
// for QLMV/LEAD trackers and the family rule. Bootloaders of this table do not check an
// image themselves, so a pass sends nothing either (the link is not even open).

#include "TestLog.h"
#include "links/DeviceChannel.h"
#include "core/LiveOptions.h"
#include "writing/WriteSession.h"

#include <gtest/gtest.h>

using namespace ql;
using namespace ql::test;

namespace {

struct TRuleCase {
    const char* Device;      // firmware version text of the device, "" for none
    const char* Bootloader;  // bootloader version text
    const char* Image;       // the image's version text
    bool Passes;
};

TFirmwareVersion Version(const char* text)
{
    TFirmwareVersion version;
    ResetVersion(version);
    if (*text)
        ParseVersion(version, text);
    return version;
}

}  // namespace

TEST(CompatibilityRules, DecideWithoutTheDevice)
{
    const TRuleCase cases[] = {
        // Generation rule: a bootloader before 1.04 takes only images below 9.00.
        {"LEAD-8.10", "XBLD-1.03", "LEAD-9.00", false},
        {"LEAD-8.10", "XBLD-1.03", "LEAD-8.99", true},
        {"LEAD-8.10", "XBLD-1.04", "LEAD-8.99", false},
        {"QLMV-9.10", "XBLD-1.04", "QLMV-9.00", true},
        {"QLMV-9.10", "XBLD-1.04", "LEAD-9.20", true},
        {"QLMV-8.10", "XBLD-1.03", "QLMV-9.01", false},
        // Family rule.
        {"QRGX-13.38", "XBLD-1.05", "QRGX-13.39", true},
        {"QRGX-13.38", "XBLD-1.05", "QRGY-13.39", false},
        {"qrgx-13.38", "XBLD-1.05", "QRGX-13.39", false},
        {"LEAD-8.10", "XBLD-1.03", "QLMV-8.50", true},
        {"WIFI-1.00", "XBLD-1.05", "QLWF-3.04", true},
        {"WIFI-1.00", "XBLD-1.05", "QLWF-3.03", false},
        {"WIFI-1.00", "XBLD-1.05", "QLMV-9.00", false},
        {"", "XBLD-1.05", "ANYT-1.00", true},
        {"Unknown", "XBLD-1.05", "ANYT-1.00", true},
    };
    TLiveOptions options;
    TDeviceChannel channel(options);
    TDirectHandOver handOver;
    for (const TRuleCase& c : cases) {
        SCOPED_TRACE((QByteArray(c.Device) + " / " + c.Bootloader + " / " + c.Image).constData());
        TCollectingLog log;
        TDevEntry device(QByteArray("1000001"), kNoUsbNumber, lkFtdi);
        device.FirmwareVersion = Version(c.Device);
        device.BootloaderVersion = Version(c.Bootloader);
        TWriteSession session(channel, handOver, log, options, device);
        session.ImageVersion = Version(c.Image);
        EXPECT_EQ(session.CheckCompatibility(), c.Passes);
        EXPECT_TRUE(log.Lines.empty());
    }
}

TEST(CompatibilityRules, SwitchedOffByTheOption)
{
    TLiveOptions options;
    TDeviceChannel channel(options);
    TDirectHandOver handOver;
    TCollectingLog log;
    TDevEntry device(QByteArray("1000001"), kNoUsbNumber, lkFtdi);
    device.FirmwareVersion = Version("QRGX-13.38");
    device.BootloaderVersion = Version("STL4-1.05");  // would ask the device
    TWriteSession session(channel, handOver, log, options, device);
    session.ImageVersion = Version("QLBT-1.00");
    session.DontCheckCompatibility = true;
    EXPECT_TRUE(session.CheckCompatibility());
}
