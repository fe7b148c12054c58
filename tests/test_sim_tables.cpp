// The simulated trackers' own flash layouts and erase/write pairs against the rows the
// trackers are built to: every processor identifier with its sectors, the bootloader's
// sectors below the first writable one, and which erase/write requests each bootloader
// takes. The loader's tables have their own test; a wrong row on either side shows here
// or there instead of being copied from one to the other.

#include "sim/EraseWriteRequests.h"
#include "sim/FlashLayouts.h"
#include "sim/Simulator.h"
#include "sim/TrackerCommands.h"

#include <gtest/gtest.h>

#include <vector>

namespace ql::test {
namespace {

using sim::TFlashLayout;

constexpr uint32_t KB = 1024;

// Sectors First..Last, each Bytes long, the first at Start.
struct TRun {
    int First;
    int Last;
    uint32_t Bytes;
    uint32_t Start;
};

struct TLayoutRow {
    std::vector<uint32_t> Processors;
    std::vector<TRun> Runs;
    int FirstWritable;  // sectors below hold the bootloader
    int Last;
    uint32_t End;
};

const TLayoutRow kRows[] = {
    {{0x0000BC40, 0x0001BC40}, {{0, 15, 4 * KB, 0x00000000}}, 4, 15, 0x00010000},
    {{0x0000BC88}, {{0, 23, 4 * KB, 0x00000000}, {24, 24, 32 * KB, 0x00018000}}, 4, 24, 0x00020000},
    {{0x25011723, 0x26013733, 0x26013F33},
     {{0, 15, 4 * KB, 0x00000000}, {16, 21, 32 * KB, 0x00010000}}, 10, 21, 0x00040000},
    {{0x25013F37, 0x25113737, 0x26012837, 0x26013F37, 0x26113F37, 0x27193F47, 0x47193F47,
      0x481D3F47},
     {{0, 15, 4 * KB, 0x00000000}, {16, 29, 32 * KB, 0x00010000}}, 10, 29, 0x00080000},
    {{0x10040204}, {{0, 63, 4 * KB, 0x00000000}}, 4, 63, 0x00040000},
    {{0x400FE000}, {{0, 255, 512, 0x00004400}}, 0, 255, 0x00024400},
    {{0x00400419, 0x00400463},
     {{0, 3, 16 * KB, 0x08000000}, {4, 4, 64 * KB, 0x08010000}, {5, 11, 128 * KB, 0x08020000}},
     5, 11, 0x08100000},
    {{0x00100435, 0x7003024C}, {{0, 127, 2 * KB, 0x08000000}}, 16, 127, 0x08040000},
    {{0x70083341, 0x70083342, 0x70083344, 0x70083350}, {{0, 15, 64 * KB, 0x08000000}}, 2, 15,
     0x08100000},
    // The bootloader's room follows the image's start offset: the tracker keeps it all.
    {{0x00200832}, {{0, 115, 4 * KB, 0x00000000}}, 0, 115, 0x00074000},
    // Any processor not named above; 0x00000419 is a processor of the newer erase/write
    // pair, not of the 0x00400419 layout.
    {{0x12345678, 0x00000419, 0x00000000},
     {{0, 7, 4 * KB, 0x00000000}, {8, 21, 32 * KB, 0x00008000}, {22, 27, 4 * KB, 0x00078000}},
     4, 27, 0x0007E000},
};

TEST(SimTables, EveryProcessorHasItsSectorsAndItsBootloaderSectors)
{
    for (const TLayoutRow& row : kRows) {
        for (uint32_t processor : row.Processors) {
            SCOPED_TRACE(testing::Message() << std::hex << "processor 0x" << processor);
            const TFlashLayout& layout = sim::FlashLayoutOf(processor);
            EXPECT_EQ(layout.SectorCount(), row.Last + 1);
            EXPECT_EQ(layout.BootloaderSectors, row.FirstWritable);
            EXPECT_EQ(layout.End(), row.End);
            for (const TRun& run : row.Runs) {
                for (int s = run.First; s <= run.Last; ++s) {
                    ASSERT_EQ(layout.SectorStart(s), run.Start + uint32_t(s - run.First) * run.Bytes)
                        << "sector " << std::dec << s;
                    ASSERT_EQ(layout.SectorBytes(s), run.Bytes) << "sector " << std::dec << s;
                }
            }
        }
    }
}

TEST(SimTables, TrackerKeepsTheFlashAboveItsBootloader)
{
    sim::TSimulator simulator;
    uint32_t serial = 3000000;
    for (const TLayoutRow& row : kRows) {
        sim::TSimTracker tracker;
        tracker.Serial = ++serial;
        tracker.ProcessorId = row.Processors.front();
        ASSERT_TRUE(simulator.AddTracker(tracker));
        uint32_t start = 0;
        for (const TRun& run : row.Runs)
            if (row.FirstWritable >= run.First && row.FirstWritable <= run.Last)
                start = run.Start + uint32_t(row.FirstWritable - run.First) * run.Bytes;
        EXPECT_EQ(simulator.FlashStart(serial), start) << std::hex << tracker.ProcessorId;
        EXPECT_EQ(uint32_t(simulator.Flash(serial).size()), row.End - start)
            << std::hex << tracker.ProcessorId;
    }
}

TEST(SimTables, BootloaderTakesItsEraseWritePair)
{
    // Processors whose bootloader knows only the pair 6/7.
    const uint32_t newPairOnly[] = {
        0x00000419, 0x00000463, 0x0000BC88, 0x00200832, 0x10040204, 0x25011723, 0x25013F37,
        0x25113737, 0x26012837, 0x26013733, 0x26013F33, 0x26013F37, 0x26113F37, 0x27193F47,
        0x400FE000, 0x47193F47, 0x481D3F47, 0x70083341, 0x70083344, 0x70083350};
    for (uint32_t processor : newPairOnly) {
        for (uint16_t version : {uint16_t(0), uint16_t(103), uint16_t(104), uint16_t(200)}) {
            SCOPED_TRACE(testing::Message() << std::hex << "processor 0x" << processor
                                            << std::dec << " bootloader " << version);
            EXPECT_TRUE(sim::TakesEraseWrite(processor, version, sim::kRequestErase));
            EXPECT_TRUE(sim::TakesEraseWrite(processor, version, sim::kRequestWrite));
            EXPECT_FALSE(sim::TakesEraseWrite(processor, version, sim::kRequestEraseOld));
            EXPECT_FALSE(sim::TakesEraseWrite(processor, version, sim::kRequestWriteOld));
        }
    }

    // Every other processor: 1/2 always, 6/7 from bootloader 1.04 on. Among them the
    // layout's 0x00400419 and 0x00400463, 0x70083342 and the processors of the 4 KB × 16
    // and 2 KB layouts.
    struct TCase {
        uint32_t Processor;
        uint16_t Bootloader;
        bool TakesNewPair;
    };
    const TCase others[] = {
        {0x00400419, 105, true},  {0x00400419, 104, true},  {0x00400419, 103, false},
        {0x00400463, 0, false},   {0x70083342, 200, true},  {0x70083342, 103, false},
        {0x0000BC40, 104, true},  {0x0001BC40, 100, false}, {0x00100435, 104, true},
        {0x7003024C, 103, false}, {0x12345678, 900, true},
    };
    for (const TCase& c : others) {
        SCOPED_TRACE(testing::Message() << std::hex << "processor 0x" << c.Processor << std::dec
                                        << " bootloader " << c.Bootloader);
        EXPECT_TRUE(sim::TakesEraseWrite(c.Processor, c.Bootloader, sim::kRequestEraseOld));
        EXPECT_TRUE(sim::TakesEraseWrite(c.Processor, c.Bootloader, sim::kRequestWriteOld));
        EXPECT_EQ(sim::TakesEraseWrite(c.Processor, c.Bootloader, sim::kRequestErase), c.TakesNewPair);
        EXPECT_EQ(sim::TakesEraseWrite(c.Processor, c.Bootloader, sim::kRequestWrite), c.TakesNewPair);
    }
    // Neither pair is anything else.
    EXPECT_FALSE(sim::TakesEraseWrite(0x00400419, 105, sim::kRequestFinish));
}

TEST(SimTables, BootloaderVersionNumberFromItsText)
{
    struct TCase {
        const char* Text;
        uint16_t Number;
    };
    const TCase cases[] = {
        {"STL4-1.05TR", 105}, {"STL4-1.04", 104}, {"NRBL-2.00", 200}, {"QRST-9.0", 900},
        {"STL4-1.03", 103},   {"Unknown", 0},     {"1.05", 0},        {"-1.05", 0},
        {"STL4-1", 0},        {"", 0},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(sim::BootloaderVersionNumber(c.Text), c.Number) << c.Text;
}

}  // namespace
}  // namespace ql::test
