// The compatibility rules that decide without asking the device: the generation rule
// for QLMV/LEAD trackers and the family rule. Bootloaders of the session's table do not
// check an image themselves, so a pass sends nothing either (the link is not even open).
// The plan's table says which requests a device is asked before anything is erased.

#include "TestLog.h"
#include "links/DeviceChannel.h"
#include "core/LiveOptions.h"
#include "writing/Compatibility.h"
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

TEST(CompatibilityRules, PlanTheRequestsTheDeviceIsAsked)
{
    struct TPlanCase {
        const char* Device;
        const char* Bootloader;
        const char* Image;
        uint32_t ImageStartOffset;
        bool Allowed;
        bool AskFirmware;
        bool AskSd;
    } cases[] = {
        // Bootloaders that check the image's version text themselves, by their exact tag.
        {"QRGX-13.38", "STL4-1.05", "QRGX-13.39", 0, true, true, false},
        {"QRGX-13.38", "BOEM-1.05", "QRGX-13.39", 0, true, true, false},
        {"QRGX-13.38", "stl4-1.05", "QRGX-13.39", 0, true, false, false},
        {"QRGX-13.38", "XBLD-1.05", "QRGX-13.39", 0, true, false, false},
        // The nRF tag on either side asks too.
        {"QLBT-1.00", "XBLD-1.05", "QLBT-1.01", 0, true, true, false},
        {"", "XBLD-1.05", "QLBT-1.01", 0, true, true, false},
        // An NRBL bootloader also checks the SD requirement, unless the image starts at 0x1000.
        {"QLBT-1.00", "NRBL-1.05", "QLBT-1.01", 0x23000, true, true, true},
        {"QLBT-1.00", "NRBL-1.05", "QLBT-1.01", kNrblNoSdCheckOffset, true, true, false},
        // Refused by the rules: the device is not asked at all.
        {"QRGX-13.38", "STL4-1.05", "QRGY-13.39", 0, false, false, false},
        {"LEAD-8.10", "NRBL-1.03", "LEAD-9.00", 0, false, false, false},
    };
    for (const TPlanCase& c : cases) {
        SCOPED_TRACE((QByteArray(c.Device) + " / " + c.Bootloader + " / " + c.Image).constData());
        TFirmwareVersion image = Version(c.Image);
        image.StartOffset = c.ImageStartOffset;
        const TCompatibilityPlan plan =
            PlanCompatibility(Version(c.Device), Version(c.Bootloader), image);
        EXPECT_EQ(plan.Allowed, c.Allowed);
        EXPECT_EQ(plan.AskFirmware, c.AskFirmware);
        EXPECT_EQ(plan.AskSd, c.AskSd);
    }
}
