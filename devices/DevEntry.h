#pragma once
// One tracker the loader has found: how it is reached, what it reported, and whether it
// is being written.

#include "firmware/FirmwareVersion.h"
#include "links/LinkEntry.h"

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <memory>

namespace ql {

// What the engine knows of a device's panel: something that can be destroyed. The window
// derives its panel from it, so destroying an entry takes its panel off the window.
class TDevicePanel {
public:
    virtual ~TDevicePanel() = default;
};

// What a discovery pass may ask of the write session working on a device: to stop before
// its next sector, as the device has gone. The session's thread implements it, so the
// entry knows nothing of the writing side.
class TSessionControl {
public:
    virtual void RequestStop() = 0;

protected:
    ~TSessionControl() = default;
};

// The link's part (number, link kind, handles) is the base, which is all the channel sees.
struct TDevEntry : TLinkEntry {
    // An FTDI (UsbNumber 0xFFFF) or maker-USB device; a serial text that is not a decimal
    // number gives -1.
    TDevEntry(const QByteArray& serialText, uint16_t usbNumber, int32_t linkKind);
    // The COM-port device.
    TDevEntry(int32_t serialNumber, int32_t linkKind);
    // The temporary record of the COM-port probe.
    TDevEntry();
    ~TDevEntry();

    TDevEntry(const TDevEntry&) = delete;
    TDevEntry& operator=(const TDevEntry&) = delete;

    uint32_t ProcessorId = 0;
    bool InBootloader = false;
    bool LoaderStarted = false;
    std::atomic<bool> Gone{false};  // set by a pass while a write thread may read it
    bool NrfFamily = false;
    uint32_t StartOffset = 0;
    uint32_t SdRequirement = 0;
    std::unique_ptr<TDevicePanel> Panel;
    std::atomic<TSessionControl*> Writer{nullptr};
    TFirmwareVersion FirmwareVersion;
    TFirmwareVersion BootloaderVersion;
};

// "123" -> 123; anything that is not a decimal number in 32 bits -> -1.
int32_t SerialFromText(const QByteArray& text);

}  // namespace ql
