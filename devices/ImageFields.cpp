#include "devices/ImageFields.h"

namespace ql {

void TakeImageFields(TDevEntry& device, const TFirmwareVersion* loadedImage)
{
    device.NrfFamily = loadedImage ? loadedImage->IsNrfImage : false;
    device.StartOffset = loadedImage ? loadedImage->StartOffset : 0;
    device.SdRequirement = loadedImage ? loadedImage->SdRequirement : 0;
}

}  // namespace ql
