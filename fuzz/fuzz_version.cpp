// Any text as a device's version reply: parsing and printing stay inside the text.

#include "firmware/FirmwareVersion.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ql::TFirmwareVersion version;
    ql::ParseVersion(version, QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    (void)ql::VersionText(version);
    (void)ql::DateText(version);
    return 0;
}
