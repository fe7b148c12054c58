#pragma once
// How engine code asks for the current firmware image: the window supplies the loader
// (the chosen source, its log lines and labels) and engine code runs it on the UI thread
// through the hand-over. Fills the caller's list and version; false when the image
// cannot be loaded. May throw TFirmwareBlockTooBig.

#include "firmware/FirmwareBlock.h"
#include "firmware/FirmwareVersion.h"

#include <functional>

namespace ql {

using TFirmwareLoader = std::function<bool(FirmwareList& blocks, TFirmwareVersion& version)>;

}  // namespace ql
