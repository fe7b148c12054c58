#include "writing/FlashImage.h"

#include "writing/WriteErrors.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace ql {
namespace {

// A mirror already made, and what it was made of: the very block bytes (not equal ones
// that happen to lie at the same address later), their places, and the range it covers.
struct TMirrorOrigin {
    struct TPlaced {
        std::weak_ptr<const TSharedBytes::TStore> Bytes;
        int32_t Offset;
        uint32_t Length;
    };
    std::vector<TPlaced> Blocks;
    uint32_t Base = 0;
    uint32_t End = 0;
    std::weak_ptr<const TSharedBytes::TStore> Mirror;

    bool MadeOf(const FirmwareList& blocks, uint32_t base, uint32_t end) const
    {
        if (Base != base || End != end || Blocks.size() != blocks.size())
            return false;
        for (size_t i = 0; i < blocks.size(); ++i)
            if (!blocks[i]->Data.Is(Blocks[i].Bytes) || Blocks[i].Offset != blocks[i]->Offset
                || Blocks[i].Length != blocks[i]->Length)
                return false;
        return true;
    }
};

struct TMirrors {
    std::mutex Lock;
    std::vector<TMirrorOrigin> Made;  // those still held by a plan
};

TMirrors& Mirrors()
{
    static TMirrors mirrors;
    return mirrors;
}

// The blocks laid out from base to end over 0xFF; 0 or kErrBlockOutsideMap.
int BuildMirror(const FirmwareList& blocks, uint32_t base, uint32_t end, TSharedBytes::TStore& image)
{
    image.assign(end - base, 0xFF);
    for (const auto& block : blocks) {
        const uint32_t address = block->Offset >= 0 ? uint32_t(block->Offset) : base;
        // Counted in 64 bits: a block near the top of the address space must not wrap
        // round and slip past the check.
        if (uint64_t(address) + block->Length > end)
            return kErrBlockOutsideMap;
        // Bytes below the first sector would never be written; only the rest is kept.
        const uint32_t skip = address < base ? std::min(base - address, block->Length) : 0;
        if (block->Length > skip)
            std::memcpy(image.data() + (address + skip - base), block->Data.data() + skip, block->Length - skip);
    }
    return 0;
}

// The mirror of these blocks over base..end: the one a running session holds already, or
// a new one. Built under the lock, so sessions started together build it once.
int SharedMirror(const FirmwareList& blocks, uint32_t base, uint32_t end, TSharedBytes& mirror)
{
    TMirrors& mirrors = Mirrors();
    std::lock_guard guard(mirrors.Lock);
    std::erase_if(mirrors.Made, [](const TMirrorOrigin& m) { return m.Mirror.expired(); });
    for (const TMirrorOrigin& made : mirrors.Made) {
        if (!made.MadeOf(blocks, base, end))
            continue;
        mirror = TSharedBytes::Held(made.Mirror);
        if (!mirror.empty())
            return 0;
    }
    TSharedBytes::TStore image;
    const int code = BuildMirror(blocks, base, end, image);
    if (code != 0) {
        mirror = TSharedBytes::Own(std::move(image));
        return code;
    }
    mirror = TSharedBytes::Shared(std::move(image));
    TMirrorOrigin origin;
    for (const auto& block : blocks)
        origin.Blocks.push_back({block->Data.Weak(), block->Offset, block->Length});
    origin.Base = base;
    origin.End = end;
    origin.Mirror = mirror.Weak();
    mirrors.Made.push_back(std::move(origin));
    return 0;
}

}  // namespace

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
    if (const int code = SharedMirror(blocks, plan.Base, map.End(), plan.Image))
        return code;

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
