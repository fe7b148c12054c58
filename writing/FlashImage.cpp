#include "writing/FlashImage.h"

#include "writing/WriteErrors.h"

#include <algorithm>
#include <cstring>

namespace ql {

int PlanFlashImage(uint32_t processorId, bool nrfFamily, uint32_t startOffset,
                   const FirmwareList& blocks, uint32_t pieceSize, TFlashPlan& plan)
{
    plan = TFlashPlan{};
    plan.Map = &SelectMapForProcessor(processorId, nrfFamily, plan.ProcessorListed);
    const TSectorMap& map = *plan.Map;

    plan.FirstSector = map.FirstFromStartOffset ? map.SectorAt(startOffset) : map.FirstSector;
    plan.LastSector = map.LastSector;
    if (plan.FirstSector < 0 || plan.FirstSector > plan.LastSector)
        return kErrNoFirstSector;

    plan.Base = map.SectorStart(plan.FirstSector);
    const uint32_t end = map.End();
    plan.Image.assign(end - plan.Base, 0xFF);

    for (const auto& block : blocks) {
        const uint32_t address = block->Offset >= 0 ? uint32_t(block->Offset) : plan.Base;
        // Counted in 64 bits: a block near the top of the address space must not wrap
        // round and slip past the check.
        if (uint64_t(address) + block->Length > end)
            return kErrBlockOutsideMap;
        // Bytes below the first sector would never be written; only the rest is kept.
        const uint32_t skip = address < plan.Base ? std::min(plan.Base - address, block->Length) : 0;
        if (block->Length > skip)
            std::memcpy(plan.Image.data() + (address + skip - plan.Base), block->Data.data() + skip,
                        block->Length - skip);
    }

    while (plan.LastSector >= plan.FirstSector
           && !SectorHasData(plan.SectorBytes(plan.LastSector), map.SectorSize(plan.LastSector)))
        --plan.LastSector;
    if (plan.LastSector < plan.FirstSector)
        return kErrNothingToWrite;

    plan.PartsTotal = (map.SectorStart(plan.LastSector) + map.SectorSize(plan.LastSector)
                       - plan.Base) / pieceSize;
    return 0;
}

}  // namespace ql
