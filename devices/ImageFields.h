#pragma once
// The fields of the device entry that follow the firmware image rather than the device:
// identification and every write session load the image anew and copy them from it.

#include "devices/DevEntry.h"
#include "firmware/FirmwareVersion.h"

namespace ql {

// Copies the image's nRF flag, start offset and SD requirement into the entry; with no
// image (the load failed) they become false, 0 and 0.
void TakeImageFields(TDevEntry& device, const TFirmwareVersion* loadedImage);

}  // namespace ql
