#pragma once
// What a link needs of a device: how it is reached, its number and the handles of its
// open link. The device entry is built on it, so the links never need the devices' own
// record (the panel, the versions, the session).

#include <cstdint>

namespace ql {

enum TLinkKind : int32_t { lkFtdi = 0, lkMakerUsb = 1, lkComPort = 2 };

inline constexpr uint16_t kNoUsbNumber = 0xFFFF;  // FTDI devices

struct TLinkEntry {
    TLinkEntry() = default;
    TLinkEntry(int32_t serialNumber, uint16_t usbNumber, int32_t linkKind)
        : SerialNumber(serialNumber), UsbNumber(usbNumber), LinkKind(linkKind)
    {
    }
    // The COM port's user and holder are known by their entry's address, so an entry is
    // never copied.
    TLinkEntry(const TLinkEntry&) = delete;
    TLinkEntry& operator=(const TLinkEntry&) = delete;

    int32_t SerialNumber = 0;
    uint16_t UsbNumber = 0;
    int32_t LinkKind = lkFtdi;
    void* FtdiHandle = nullptr;
    uint32_t QlusbHandle = 0;
};

}  // namespace ql
