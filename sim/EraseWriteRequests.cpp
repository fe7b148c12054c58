#include "sim/EraseWriteRequests.h"

#include "sim/TrackerCommands.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace ql::sim {
namespace {

// Processors whose bootloader knows only the pair 6/7. Note 0x00000419 and 0x00000463:
// the processors 0x00400419 and 0x00400463 are not among them.
constexpr uint32_t kNewPairOnly[] = {
    0x00000419, 0x00000463, 0x0000BC88, 0x00200832, 0x10040204,
    0x25011723, 0x25013F37, 0x25113737, 0x26012837, 0x26013733,
    0x26013F33, 0x26013F37, 0x26113F37, 0x27193F47, 0x400FE000,
    0x47193F47, 0x481D3F47, 0x70083341, 0x70083344, 0x70083350,
};

bool IsNewPair(uint16_t request)
{
    return request == kRequestErase || request == kRequestWrite;
}

bool IsOldPair(uint16_t request)
{
    return request == kRequestEraseOld || request == kRequestWriteOld;
}

}  // namespace

uint16_t BootloaderVersionNumber(const QByteArray& versionText)
{
    const qsizetype dash = versionText.indexOf('-');
    if (dash <= 0)
        return 0;
    int major = 0;
    int minor = 0;
    if (std::sscanf(versionText.mid(dash + 1).constData(), "%d.%d", &major, &minor) != 2)
        return 0;
    return uint16_t(major * 100 + minor);
}

bool TakesEraseWrite(uint32_t processorId, uint16_t bootloaderVersion, uint16_t request)
{
    if (std::find(std::begin(kNewPairOnly), std::end(kNewPairOnly), processorId)
        != std::end(kNewPairOnly))
        return IsNewPair(request);
    if (IsNewPair(request))
        return bootloaderVersion >= kBothPairsFromVersion;
    return IsOldPair(request);
}

}  // namespace ql::sim
