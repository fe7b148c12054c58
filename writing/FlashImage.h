#pragma once
// The flash mirror of one write session: the chosen sector map, the range of sectors to
// handle and the bytes to write, from the first sector's start to the map's end. Below
// the first sector nothing is ever read, so nothing is kept (map 7 begins at 0x08000000).
// The bytes never change once planned: sessions that place the same image on the same
// map share one mirror.

#include "firmware/FirmwareBlock.h"
#include "firmware/SharedBytes.h"
#include "writing/SectorMaps.h"

#include <cstdint>
#include <vector>

namespace ql {

struct TFlashPlan {
    const TSectorMap* Map = nullptr;
    bool ProcessorListed = true;  // false: an unknown identifier took a fallback map
    int FirstSector = -1;
    int LastSector = -1;          // after trimming trailing empty sectors
    uint32_t Base = 0;            // flash address of Image[0]
    TSharedBytes Image;           // 0xFF where no block writes
    uint32_t PartsTotal = 0;

    const uint8_t* At(uint32_t address) const { return Image.data() + (address - Base); }
    const uint8_t* SectorBytes(int sector) const { return At(Map->SectorStart(sector)); }
};

// Chooses the map for the processor, places the blocks (Offset -1 at the first sector's
// start), trims trailing empty sectors and counts the pieces. Returns 0, or the session
// error 2, 3 or 4; the map and ProcessorListed are set in every case.
int PlanFlashImage(uint32_t processorId, bool nrfFamily, uint32_t startOffset,
                   const FirmwareList& blocks, uint32_t pieceSize, TFlashPlan& plan);

}  // namespace ql
