#pragma once
// Whether an image may go to a device, decided from the version records the device and the
// image carry: which families may take each other's images, the generation rule of the
// QLMV/LEAD trackers, and which bootloaders check an image themselves (the session then
// asks the device, requests 14 and 15). One table each; nothing here talks to a device.

#include "firmware/FirmwareVersion.h"

#include <QByteArray>

#include <cstdint>

namespace ql {

inline constexpr uint16_t kGenerationBootloader = 104;  // 1.04: from here only images 9.00 and up
inline constexpr uint16_t kGenerationImage = 900;
inline constexpr uint32_t kNrblNoSdCheckOffset = 0x1000;  // NRBL image that needs no SD check

// What the session does with a device and an image before anything is erased.
struct TCompatibilityPlan {
    bool Allowed = false;        // the rules let the image go to the device at all
    bool AskFirmware = false;    // request 14 with the image's version text
    bool AskSd = false;          // request 15 with the image's SD requirement
};

TCompatibilityPlan PlanCompatibility(const TFirmwareVersion& device,
                                     const TFirmwareVersion& bootloader,
                                     const TFirmwareVersion& image);

}  // namespace ql
