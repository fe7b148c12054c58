#pragma once
// The flash layouts of the tracker processors, the erase/write command pair each one
// takes, and the empty-sector test. One constant table each, looked up in one place.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <span>

namespace ql {

// Sectors of equal size that follow each other.
struct TSectorRun {
    uint32_t Start;
    uint32_t Size;
    uint32_t Count;
};

struct TSectorMap {
    int Number;  // 1..11
    std::span<const uint32_t> ProcessorIds;
    std::span<const TSectorRun> Runs;
    int FirstSector;  // sectors below hold the bootloader; for map 10 taken from StartOffset
    int LastSector;   // before trimming
    bool FirstFromStartOffset;

    int SectorCount() const;  // LastSector + 1: only these sectors exist for a session
    uint32_t SectorStart(int sector) const;
    uint32_t SectorSize(int sector) const;
    uint32_t End() const;  // start of the last sector plus its size
    // The sector that holds an address; -1 when none does.
    int SectorAt(uint32_t address) const;
};

inline constexpr int kNrfFallbackMap = 10;
inline constexpr int kDefaultFallbackMap = 11;

const TSectorMap& SectorMapByNumber(int number);

// The map for a processor. An identifier that no map lists takes map 10 when the device is
// of the nRF family, else map 11; listed is then false (the caller logs message 56).
const TSectorMap& SelectMapForProcessor(uint32_t processorId, bool nrfFamily, bool& listed);

struct TCommandPair {
    uint16_t Erase;
    uint16_t Write;
};

inline constexpr uint16_t kNewPairMinBootloader = 104;  // bootloader 1.04
inline const QByteArray kNewPairImageTag = QByteArrayLiteral("QLMV");

// 6/7 for the processors that take it, and for any other when the image is tagged "QLMV"
// and the bootloader is 1.04 or newer; 1/2 otherwise.
TCommandPair SelectCommandPair(uint32_t processorId, const QByteArray& imageTag,
                               uint16_t bootloaderVersion);

// True when any of the size / 4 little-endian words is not 0xFFFFFFFF; a remainder below
// four bytes is not looked at.
bool SectorHasData(const uint8_t* bytes, size_t size);

}  // namespace ql
