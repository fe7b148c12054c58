#include "firmware/FirmwareBlock.h"
#include "writing/FlashImage.h"
#include "writing/SectorMaps.h"
#include "writing/WriteErrors.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace ql;

TEST(SectorMaps, FirstLastAndEndOfEveryMap)
{
    struct Case { int map; uint32_t firstStart; uint32_t lastStart; uint32_t lastSize; uint32_t end; int first; int last; };
    const Case cases[] = {
        {1, 0x00000000, 0x0000F000, 0x1000, 0x00010000, 4, 15},
        {2, 0x00000000, 0x00018000, 0x8000, 0x00020000, 4, 24},
        {3, 0x00000000, 0x00038000, 0x8000, 0x00040000, 10, 21},
        {4, 0x00000000, 0x00078000, 0x8000, 0x00080000, 10, 29},
        {5, 0x00000000, 0x0003F000, 0x1000, 0x00040000, 4, 63},
        {6, 0x00004400, 0x00024200, 0x200, 0x00024400, 0, 255},
        {7, 0x08000000, 0x080E0000, 0x20000, 0x08100000, 5, 11},
        {8, 0x08000000, 0x0803F800, 0x800, 0x08040000, 16, 127},
        {9, 0x08000000, 0x080F0000, 0x10000, 0x08100000, 2, 15},
        {10, 0x00000000, 0x00073000, 0x1000, 0x00074000, 0, 115},
        {11, 0x00000000, 0x0007D000, 0x1000, 0x0007E000, 4, 27},
    };
    for (const Case& c : cases) {
        const TSectorMap& m = SectorMapByNumber(c.map);
        EXPECT_EQ(m.Number, c.map);
        EXPECT_EQ(m.SectorStart(0), c.firstStart) << c.map;
        EXPECT_EQ(m.SectorStart(m.LastSector), c.lastStart) << c.map;
        EXPECT_EQ(m.SectorSize(m.LastSector), c.lastSize) << c.map;
        EXPECT_EQ(m.End(), c.end) << c.map;
        EXPECT_EQ(m.FirstSector, c.first) << c.map;
        EXPECT_EQ(m.LastSector, c.last) << c.map;
        // No gaps: each sector starts where the one before ends.
        for (int s = 1; s <= m.LastSector; ++s)
            ASSERT_EQ(m.SectorStart(s), m.SectorStart(s - 1) + m.SectorSize(s - 1)) << c.map << " " << s;
    }
    const TSectorMap& m7 = SectorMapByNumber(7);
    EXPECT_EQ(m7.SectorStart(4), 0x08010000u);
    EXPECT_EQ(m7.SectorSize(4), 0x10000u);
    EXPECT_EQ(m7.SectorStart(5), 0x08020000u);
    EXPECT_EQ(SectorMapByNumber(11).SectorStart(8), 0x00008000u);
    EXPECT_EQ(SectorMapByNumber(11).SectorStart(22), 0x00078000u);
}

TEST(SectorMaps, ProcessorLookup)
{
    struct Case { uint32_t id; bool nrf; int map; bool listed; };
    const Case cases[] = {
        {0x0000BC40, false, 1, true}, {0x0001BC40, false, 1, true}, {0x0000BC88, false, 2, true},
        {0x26013F33, false, 3, true}, {0x481D3F47, false, 4, true}, {0x10040204, false, 5, true},
        {0x400FE000, false, 6, true}, {0x00400419, false, 7, true}, {0x00400463, true, 7, true},
        {0x7003024C, false, 8, true}, {0x70083342, false, 9, true}, {0x00200832, false, 10, true},
        {0x12345678, true, 10, false}, {0x12345678, false, 11, false}, {0x00000419, false, 11, false},
    };
    for (const Case& c : cases) {
        bool listed = !c.listed;
        EXPECT_EQ(SelectMapForProcessor(c.id, c.nrf, listed).Number, c.map) << std::hex << c.id;
        EXPECT_EQ(listed, c.listed) << std::hex << c.id;
    }
}

TEST(CommandPair, Rule)
{
    struct Case { uint32_t id; const char* tag; uint16_t bootloader; uint16_t erase; uint16_t write; };
    const Case cases[] = {
        {0x00400419, "QRGX", 105, 1, 2},   // map 7 processor, not in the new-pair list
        {0x00400419, "QLMV", 104, 6, 7},
        {0x00400419, "QLMV", 103, 1, 2},
        {0x00000419, "QRGX", 0, 6, 7},
        {0x00000463, "QRGX", 0, 6, 7},
        {0x70083342, "QRGX", 200, 1, 2},   // map 9, but not listed
        {0x70083341, "QRGX", 0, 6, 7},
        {0x0000BC40, "QLMV", 104, 6, 7},   // map 1 identifiers take the general rule
        {0x0000BC40, "qlmv", 104, 1, 2},
        {0x400FE000, "", 0, 6, 7},
    };
    for (const Case& c : cases) {
        const TCommandPair pair = SelectCommandPair(c.id, c.tag, c.bootloader);
        EXPECT_EQ(pair.Erase, c.erase) << std::hex << c.id << " " << c.tag;
        EXPECT_EQ(pair.Write, c.write) << std::hex << c.id << " " << c.tag;
    }
}

TEST(SectorHasData, WordsOfAllOnesAreEmpty)
{
    uint8_t bytes[16];
    std::memset(bytes, 0xFF, sizeof bytes);
    EXPECT_FALSE(SectorHasData(bytes, 16));
    bytes[15] = 0xFE;
    EXPECT_TRUE(SectorHasData(bytes, 16));
    EXPECT_FALSE(SectorHasData(bytes, 15));  // a remainder under four bytes is not looked at
    EXPECT_FALSE(SectorHasData(bytes, 0));
}

namespace {

FirmwareList OneBlock(uint32_t length, uint8_t fill, int32_t offset = kAtFirstSector)
{
    std::vector<uint8_t> data(length, fill);
    FirmwareList list;
    list.push_back(CreateFirmwareBlock(data.data(), length, offset));
    return list;
}

}  // namespace

TEST(FlashPlan, TrimsToTheCoveredRange)
{
    // 0x26013F37 (map 4): payload at 0xA000 ending inside sector 17 (0x18000..0x20000).
    TFlashPlan plan;
    ASSERT_EQ(PlanFlashImage(0x26013F37, false, 0, OneBlock(0x1C000 - 0xA000, 0x11), 512, plan), 0);
    EXPECT_EQ(plan.Map->Number, 4);
    EXPECT_EQ(plan.FirstSector, 10);
    EXPECT_EQ(plan.LastSector, 17);
    EXPECT_EQ(plan.PartsTotal, (0x20000u - 0xA000u) / 512);
    EXPECT_EQ(plan.PartsTotal, 176u);
    EXPECT_EQ(*plan.At(0xA000), 0x11);
    EXPECT_EQ(*plan.At(0x1C000), 0xFF);
}

TEST(FlashPlan, Map7KeepsOnlyTheWritableRange)
{
    TFlashPlan plan;
    ASSERT_EQ(PlanFlashImage(0x00400419, false, 0, OneBlock(851968, 0x42), 512, plan), 0);
    EXPECT_EQ(plan.Base, 0x08020000u);
    EXPECT_EQ(plan.Image.size(), 0x08100000u - 0x08020000u);
    EXPECT_EQ(plan.FirstSector, 5);
    EXPECT_EQ(plan.LastSector, 11);  // 851968 = 6.5 sectors of 128 KB
    EXPECT_EQ(plan.PartsTotal, 7u * 256);
    EXPECT_EQ(*plan.SectorBytes(5), 0x42);
}

TEST(FlashPlan, Errors)
{
    TFlashPlan plan;
    EXPECT_EQ(PlanFlashImage(0x26013F37, false, 0, OneBlock(64, 0xFF), 512, plan), kErrNothingToWrite);
    // Map 11 holds 0x7A000 bytes from 0x4000 to 0x7E000.
    EXPECT_EQ(PlanFlashImage(0x12345678, false, 0, OneBlock(0x7A000, 0), 512, plan), 0);
    EXPECT_FALSE(plan.ProcessorListed);
    EXPECT_EQ(plan.Map->Number, 11);
    EXPECT_EQ(PlanFlashImage(0x12345678, false, 0, OneBlock(0x7A001, 0), 512, plan), kErrBlockOutsideMap);
    // A block placed near the top of the address space must not wrap round the check.
    EXPECT_EQ(PlanFlashImage(0x12345678, false, 0, OneBlock(0x20, 0, 0x7FFFFFF0), 512, plan), kErrBlockOutsideMap);
    EXPECT_EQ(PlanFlashImage(0x00200832, true, 0x74000, OneBlock(16, 0), 128, plan), kErrNoFirstSector);
}

TEST(FlashPlan, NrfMapStartsAtTheStartOffsetSector)
{
    for (uint32_t start : {0x26000u, 0x26800u}) {
        TFlashPlan plan;
        ASSERT_EQ(PlanFlashImage(0xDEADBEEF, true, start, OneBlock(4096, 0x33), 128, plan), 0);
        EXPECT_EQ(plan.Map->Number, 10);
        EXPECT_EQ(plan.FirstSector, 38);
        EXPECT_EQ(plan.Base, 0x26000u);
        EXPECT_EQ(*plan.At(0x26000), 0x33);
        EXPECT_EQ(plan.LastSector, 38);
        EXPECT_EQ(plan.PartsTotal, 4096u / 128);
    }
}

TEST(FlashPlan, BlocksWithOffsetsAndOverlap)
{
    FirmwareList blocks = OneBlock(0x2000, 0x01);            // at 0x4000 (map 11 first sector)
    auto more = OneBlock(0x1000, 0x02, 0x5000);               // later block wins where they overlap
    blocks.push_back(std::move(more.front()));
    auto below = OneBlock(0x2000, 0x03, 0x3000);              // half below the first sector
    blocks.push_back(std::move(below.front()));
    TFlashPlan plan;
    ASSERT_EQ(PlanFlashImage(0x12345678, false, 0, blocks, 512, plan), 0);
    EXPECT_EQ(*plan.At(0x4000), 0x03);
    EXPECT_EQ(*plan.At(0x4FFF), 0x03);
    EXPECT_EQ(*plan.At(0x5000), 0x02);
    EXPECT_EQ(*plan.At(0x6000), 0xFF);
    EXPECT_EQ(plan.LastSector, 5);
}

TEST(FlashPlan, EmptySectorsInsideTheRangeCount)
{
    std::vector<uint8_t> data(0x3000, 0xFF);
    data[0] = 0;
    data[0x2FFC] = 0;
    FirmwareList blocks;
    blocks.push_back(CreateFirmwareBlock(data.data(), uint32_t(data.size()), kAtFirstSector));
    TFlashPlan plan;
    ASSERT_EQ(PlanFlashImage(0x10040204, false, 0, blocks, 512, plan), 0);  // map 5, 4 KB sectors
    EXPECT_EQ(plan.FirstSector, 4);
    EXPECT_EQ(plan.LastSector, 6);
    EXPECT_EQ(plan.PartsTotal, 0x3000u / 512);
    EXPECT_FALSE(SectorHasData(plan.SectorBytes(5), 4096));
}

// A rack of sessions writing one image: the image's bytes and each map's mirror exist once
// while sessions hold them, and a different image (a file changed between two sessions)
// gets bytes of its own without touching what an earlier session holds.
TEST(FlashPlan, SessionsOfOneImageShareItsBytesAndMirror)
{
    const FirmwareList first = OneBlock(851968, 0x42);
    const FirmwareList second = OneBlock(851968, 0x42);
    const FirmwareList changed = OneBlock(851968, 0x43);
    EXPECT_EQ(first[0]->Data.data(), second[0]->Data.data()) << "one copy of the same payload";
    EXPECT_NE(first[0]->Data.data(), changed[0]->Data.data());

    TFlashPlan a, b, c, otherMap;
    ASSERT_EQ(PlanFlashImage(0x00400419, false, 0, first, 512, a), 0);
    ASSERT_EQ(PlanFlashImage(0x00400419, false, 0, second, 512, b), 0);
    ASSERT_EQ(PlanFlashImage(0x00400419, false, 0, changed, 512, c), 0);
    ASSERT_EQ(PlanFlashImage(0x26013F37, false, 0, OneBlock(0x1C000 - 0xA000, 0x42), 512, otherMap), 0);
    EXPECT_EQ(a.Image.data(), b.Image.data()) << "one mirror for one image on one map";
    EXPECT_NE(a.Image.data(), c.Image.data());
    EXPECT_NE(a.Image.data(), otherMap.Image.data());
    EXPECT_EQ(*a.SectorBytes(5), 0x42);
    EXPECT_EQ(*c.SectorBytes(5), 0x43);
    EXPECT_EQ(*otherMap.At(0xA000), 0x42);

    // Planned again once the sessions of the first image have let go of their mirror,
    // the image comes out whole.
    a = b = TFlashPlan{};
    TFlashPlan again;
    ASSERT_EQ(PlanFlashImage(0x00400419, false, 0, first, 512, again), 0);
    EXPECT_EQ(*again.SectorBytes(5), 0x42);
    EXPECT_EQ(*again.At(0x08020000 + 851968), 0xFF);
}
