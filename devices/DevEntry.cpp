#include "devices/DevEntry.h"

namespace ql {

int32_t SerialFromText(const QByteArray& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : -1;
}

TDevEntry::TDevEntry(const QByteArray& serialText, uint16_t usbNumber, int32_t linkKind)
    : TLinkEntry(SerialFromText(serialText), usbNumber, linkKind)
{
}

TDevEntry::TDevEntry(int32_t serialNumber, int32_t linkKind)
    : TLinkEntry(serialNumber, 0, linkKind)
{
}

TDevEntry::TDevEntry() = default;

TDevEntry::~TDevEntry() = default;

}  // namespace ql
