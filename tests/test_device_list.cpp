#include "devices/DeviceList.h"

#include <gtest/gtest.h>

using namespace ql;

namespace {

// Counts destroyed panels, so a test can see that an entry takes its panel with it.
struct TCountingPanel : TDevicePanel {
    explicit TCountingPanel(int& destroyed) : destroyed_(destroyed) {}
    ~TCountingPanel() override { ++destroyed_; }
    int& destroyed_;
};

}  // namespace

TEST(DevEntry, Constructors)
{
    const TDevEntry ftdi("1234567", kNoUsbNumber, lkFtdi);
    EXPECT_EQ(ftdi.SerialNumber, 1234567);
    EXPECT_EQ(ftdi.UsbNumber, 0xFFFF);
    EXPECT_EQ(ftdi.LinkKind, lkFtdi);
    EXPECT_EQ(ftdi.SdRequirement, 0u);
    EXPECT_EQ(ftdi.FtdiHandle, nullptr);
    EXPECT_EQ(VersionText(ftdi.FirmwareVersion), "?????");

    const TDevEntry usb("0000042", 7, lkMakerUsb);
    EXPECT_EQ(usb.SerialNumber, 42);
    EXPECT_EQ(usb.UsbNumber, 7);

    const TDevEntry com(7654321, lkComPort);
    EXPECT_EQ(com.UsbNumber, 0);
    EXPECT_EQ(com.LinkKind, lkComPort);

    const TDevEntry probe;
    EXPECT_EQ(probe.SerialNumber, 0);
    EXPECT_EQ(probe.LinkKind, lkFtdi);
}

TEST(DevEntry, SerialTextThatIsNotANumber)
{
    for (const char* text : {"FT4A2B", "", "12a", "99999999999"})
        EXPECT_EQ(TDevEntry(text, kNoUsbNumber, lkFtdi).SerialNumber, -1) << text;
}

TEST(DeviceList, FindAndRemoveTakeTheFirstMatch)
{
    int destroyed = 0;
    DeviceEntryList list;
    EXPECT_EQ(FindDevice(list, 5), nullptr);
    RemoveDevice(list, 5);  // nothing to remove

    for (int serial : {5, 7, 5, 9}) {
        list.push_back(std::make_unique<TDevEntry>(serial, lkComPort));
        list.back()->Panel = std::make_unique<TCountingPanel>(destroyed);
    }
    list[1]->Panel.reset();  // an entry without a panel
    destroyed = 0;
    TDevEntry* second5 = list[2].get();

    EXPECT_EQ(FindDevice(list, 5), list[0].get());
    RemoveDevice(list, 5);
    EXPECT_EQ(destroyed, 1);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->SerialNumber, 7);
    EXPECT_EQ(list[1].get(), second5);
    EXPECT_EQ(list[2]->SerialNumber, 9);
    EXPECT_EQ(FindDevice(list, 5), second5);

    RemoveDevice(list, 7);  // no panel: nothing else destroyed
    EXPECT_EQ(destroyed, 1);
    RemoveDevice(list, 42);
    EXPECT_EQ(list.size(), 2u);
}
