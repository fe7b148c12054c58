#pragma once
// The flash of each tracker processor as its bootloader knows it: where the sectors lie,
// how large each one is, and how many at the bottom hold the bootloader itself. Looked up
// by the processor identifier the bootloader reports.

#include <cstdint>

namespace ql::sim {

// Sectors of one size that follow each other.
struct TFlashBank {
    uint32_t SectorBytes = 0;
    int Sectors = 0;
};

inline constexpr int kMaxFlashBanks = 3;

// Sectors are numbered from 0 at Base, bank after bank, without gaps.
struct TFlashLayout {
    uint32_t Base = 0;
    TFlashBank Banks[kMaxFlashBanks] = {};
    // Sectors 0 .. BootloaderSectors - 1 hold the bootloader: erase and write answer
    // "protected" there. 0 where the bootloader's room follows the image's start offset:
    // the tracker then keeps its whole flash.
    int BootloaderSectors = 0;

    int SectorCount() const;
    uint32_t SectorStart(int sector) const;  // End() for a sector past the last
    uint32_t SectorBytes(int sector) const;  // 0 for a sector past the last
    uint32_t End() const;                    // the address after the last sector
};

// The layout of a processor. A processor the table does not name has the layout of most
// trackers: 8 × 4 KB, 14 × 32 KB, 6 × 4 KB from address 0, bootloader in the first 4.
const TFlashLayout& FlashLayoutOf(uint32_t processorId);

}  // namespace ql::sim
