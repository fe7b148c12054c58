#include "writing/SectorMaps.h"

#include "links/LoaderRecord.h"

#include <algorithm>
#include <cstring>

namespace ql {
namespace {

constexpr uint32_t KB = 1024;

constexpr uint32_t kIds1[] = {0x0000BC40, 0x0001BC40};
constexpr uint32_t kIds2[] = {0x0000BC88};
constexpr uint32_t kIds3[] = {0x25011723, 0x26013733, 0x26013F33};
constexpr uint32_t kIds4[] = {0x25013F37, 0x25113737, 0x26012837, 0x26013F37,
                              0x26113F37, 0x27193F47, 0x47193F47, 0x481D3F47};
constexpr uint32_t kIds5[] = {0x10040204};
constexpr uint32_t kIds6[] = {0x400FE000};
constexpr uint32_t kIds7[] = {0x00400419, 0x00400463};
constexpr uint32_t kIds8[] = {0x00100435, 0x7003024C};
constexpr uint32_t kIds9[] = {0x70083341, 0x70083342, 0x70083344, 0x70083350};
constexpr uint32_t kIds10[] = {0x00200832};

constexpr TSectorRun kRuns1[] = {{0x00000000, 4 * KB, 16}};
constexpr TSectorRun kRuns2[] = {{0x00000000, 4 * KB, 24}, {0x00018000, 32 * KB, 1}};
constexpr TSectorRun kRuns3[] = {{0x00000000, 4 * KB, 16}, {0x00010000, 32 * KB, 6}};
constexpr TSectorRun kRuns4[] = {{0x00000000, 4 * KB, 16}, {0x00010000, 32 * KB, 14}};
constexpr TSectorRun kRuns5[] = {{0x00000000, 4 * KB, 64}};
constexpr TSectorRun kRuns6[] = {{0x00004400, 512, 256}};
constexpr TSectorRun kRuns7[] = {
    {0x08000000, 16 * KB, 4}, {0x08010000, 64 * KB, 1}, {0x08020000, 128 * KB, 7}};
constexpr TSectorRun kRuns8[] = {{0x08000000, 2 * KB, 128}};
constexpr TSectorRun kRuns9[] = {{0x08000000, 64 * KB, 16}};
constexpr TSectorRun kRuns10[] = {{0x00000000, 4 * KB, 116}};
constexpr TSectorRun kRuns11[] = {
    {0x00000000, 4 * KB, 8}, {0x00008000, 32 * KB, 14}, {0x00078000, 4 * KB, 6}};

const TSectorMap kMaps[] = {
    {1, kIds1, kRuns1, 4, 15, false},
    {2, kIds2, kRuns2, 4, 24, false},
    {3, kIds3, kRuns3, 10, 21, false},
    {4, kIds4, kRuns4, 10, 29, false},
    {5, kIds5, kRuns5, 4, 63, false},
    {6, kIds6, kRuns6, 0, 255, false},
    {7, kIds7, kRuns7, 5, 11, false},
    {8, kIds8, kRuns8, 16, 127, false},
    {9, kIds9, kRuns9, 2, 15, false},
    {10, kIds10, kRuns10, 0, 115, true},
    {11, {}, kRuns11, 4, 27, false},
};

// Processors that take the erase/write pair 6/7 whatever the image. Note 0x00000419 and
// 0x00000463, not the identifiers of map 7.
constexpr uint32_t kNewPairIds[] = {
    0x00000419, 0x00000463, 0x0000BC88, 0x00200832, 0x10040204, 0x25011723, 0x25013F37,
    0x25113737, 0x26012837, 0x26013733, 0x26013F33, 0x26013F37, 0x26113F37, 0x27193F47,
    0x400FE000, 0x47193F47, 0x481D3F47, 0x70083341, 0x70083344, 0x70083350};

}  // namespace

int TSectorMap::SectorCount() const
{
    return LastSector + 1;
}

uint32_t TSectorMap::SectorStart(int sector) const
{
    for (const TSectorRun& run : Runs) {
        if (sector < int(run.Count))
            return run.Start + uint32_t(sector) * run.Size;
        sector -= int(run.Count);
    }
    return End();
}

uint32_t TSectorMap::SectorSize(int sector) const
{
    for (const TSectorRun& run : Runs) {
        if (sector < int(run.Count))
            return run.Size;
        sector -= int(run.Count);
    }
    return 0;
}

uint32_t TSectorMap::End() const
{
    return SectorStart(LastSector) + SectorSize(LastSector);
}

int TSectorMap::SectorAt(uint32_t address) const
{
    int first = 0;
    for (const TSectorRun& run : Runs) {
        if (address >= run.Start && address - run.Start < uint64_t(run.Size) * run.Count)
            return first + int((address - run.Start) / run.Size);
        first += int(run.Count);
    }
    return -1;
}

const TSectorMap& SectorMapByNumber(int number)
{
    return kMaps[std::clamp(number, 1, int(std::size(kMaps))) - 1];
}

const TSectorMap& SelectMapForProcessor(uint32_t processorId, bool nrfFamily, bool& listed)
{
    for (const TSectorMap& map : kMaps) {
        if (std::find(map.ProcessorIds.begin(), map.ProcessorIds.end(), processorId)
            != map.ProcessorIds.end()) {
            listed = true;
            return map;
        }
    }
    listed = false;
    return SectorMapByNumber(nrfFamily ? kNrfFallbackMap : kDefaultFallbackMap);
}

TCommandPair SelectCommandPair(uint32_t processorId, const QByteArray& imageTag,
                               uint16_t bootloaderVersion)
{
    const bool listed = std::find(std::begin(kNewPairIds), std::end(kNewPairIds), processorId)
                        != std::end(kNewPairIds);
    if (listed || (imageTag == kNewPairImageTag && bootloaderVersion >= kNewPairMinBootloader))
        return {kCmdErase, kCmdWrite};
    return {kCmdEraseOld, kCmdWriteOld};
}

bool SectorHasData(const uint8_t* bytes, size_t size)
{
    for (size_t i = 0; i + 4 <= size; i += 4) {
        uint32_t word;
        std::memcpy(&word, bytes + i, 4);
        if (word != 0xFFFFFFFFu)
            return true;
    }
    return false;
}

}  // namespace ql
