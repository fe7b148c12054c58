#pragma once
// Which erase and write requests a tracker's bootloader carries out. Bootloaders of the
// newer processors take only the pair 6/7; every other bootloader takes the older pair 1/2,
// and 6/7 as well from its version 1.04 on.

#include <QByteArray>

#include <cstdint>

namespace ql::sim {

inline constexpr uint16_t kBothPairsFromVersion = 104;  // bootloader 1.04

// The version number (major × 100 + minor) of a version text such as "STL4-1.05TR"; 0 when
// the text has no tag before its "-" or no "major.minor" after it.
uint16_t BootloaderVersionNumber(const QByteArray& versionText);

// True when the bootloader takes the request, one of 1, 2, 6 and 7.
bool TakesEraseWrite(uint32_t processorId, uint16_t bootloaderVersion, uint16_t request);

}  // namespace ql::sim
