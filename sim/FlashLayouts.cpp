#include "sim/FlashLayouts.h"

namespace ql::sim {
namespace {

constexpr uint32_t KB = 1024;

// Every layout a tracker processor has, named by its shape.
constexpr TFlashLayout kUniform4KTo64K{0x00000000, {{4 * KB, 16}}, 4};
constexpr TFlashLayout kUniform4KThen32K{0x00000000, {{4 * KB, 24}, {32 * KB, 1}}, 4};
constexpr TFlashLayout kMixed256K{0x00000000, {{4 * KB, 16}, {32 * KB, 6}}, 10};
constexpr TFlashLayout kMixed512K{0x00000000, {{4 * KB, 16}, {32 * KB, 14}}, 10};
constexpr TFlashLayout kUniform4KTo256K{0x00000000, {{4 * KB, 64}}, 4};
constexpr TFlashLayout kPages512{0x00004400, {{512, 256}}, 0};
constexpr TFlashLayout kBanked1M{0x08000000, {{16 * KB, 4}, {64 * KB, 1}, {128 * KB, 7}}, 5};
constexpr TFlashLayout kPages2K{0x08000000, {{2 * KB, 128}}, 16};
constexpr TFlashLayout kUniform64K{0x08000000, {{64 * KB, 16}}, 2};
constexpr TFlashLayout kRadio464K{0x00000000, {{4 * KB, 116}}, 0};  // bootloader room from the image
constexpr TFlashLayout kMostTrackers{0x00000000, {{4 * KB, 8}, {32 * KB, 14}, {4 * KB, 6}}, 4};

struct TProcessorFlash {
    uint32_t ProcessorId;
    const TFlashLayout& Layout;
};

const TProcessorFlash kProcessors[] = {
    {0x0000BC40, kUniform4KTo64K},    {0x0001BC40, kUniform4KTo64K},
    {0x0000BC88, kUniform4KThen32K},
    {0x25011723, kMixed256K},         {0x26013733, kMixed256K},
    {0x26013F33, kMixed256K},
    {0x25013F37, kMixed512K},         {0x25113737, kMixed512K},
    {0x26012837, kMixed512K},         {0x26013F37, kMixed512K},
    {0x26113F37, kMixed512K},         {0x27193F47, kMixed512K},
    {0x47193F47, kMixed512K},         {0x481D3F47, kMixed512K},
    {0x10040204, kUniform4KTo256K},
    {0x400FE000, kPages512},
    {0x00400419, kBanked1M},          {0x00400463, kBanked1M},
    {0x00100435, kPages2K},           {0x7003024C, kPages2K},
    {0x70083341, kUniform64K},        {0x70083342, kUniform64K},
    {0x70083344, kUniform64K},        {0x70083350, kUniform64K},
    {0x00200832, kRadio464K},
};

}  // namespace

int TFlashLayout::SectorCount() const
{
    int count = 0;
    for (const TFlashBank& bank : Banks)
        count += bank.Sectors;
    return count;
}

uint32_t TFlashLayout::SectorStart(int sector) const
{
    uint32_t address = Base;
    for (const TFlashBank& bank : Banks) {
        if (sector < bank.Sectors)
            return address + uint32_t(sector) * bank.SectorBytes;
        sector -= bank.Sectors;
        address += uint32_t(bank.Sectors) * bank.SectorBytes;
    }
    return address;
}

uint32_t TFlashLayout::SectorBytes(int sector) const
{
    for (const TFlashBank& bank : Banks) {
        if (sector < bank.Sectors)
            return bank.SectorBytes;
        sector -= bank.Sectors;
    }
    return 0;
}

uint32_t TFlashLayout::End() const
{
    return SectorStart(SectorCount());
}

const TFlashLayout& FlashLayoutOf(uint32_t processorId)
{
    for (const TProcessorFlash& row : kProcessors)
        if (row.ProcessorId == processorId)
            return row.Layout;
    return kMostTrackers;
}

}  // namespace ql::sim
