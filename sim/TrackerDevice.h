#pragma once
// What one simulated tracker answers, apart from how the bytes travel: its application
// firmware takes the text commands and ignores bootloader records; its bootloader takes
// the records and keeps a flash memory for its processor's flash layout (only the range
// above the bootloader's own sectors, erased to 0xFF).
//
// The faults that change what is answered act here; those that change how or when the
// bytes travel (reply delay, stray byte, pacing) act in the transport.

#include "links/LoaderRecord.h"
#include "sim/FlashLayouts.h"
#include "sim/RequestAssembler.h"
#include "sim/Simulator.h"

#include <QByteArray>

namespace ql::sim {

enum class TAfterReply { Nothing, RebootToBootloader, RebootToApplication, Vanish };

struct TDeviceReply {
    bool Answer = false;
    QByteArray Bytes;
    TAfterReply After = TAfterReply::Nothing;
};

class TTrackerDevice {
public:
    explicit TTrackerDevice(const TSimTracker& config);

    TDeviceReply Handle(const TAssembledRequest& request);
    // A new write session: the piece count of the faults starts again from 0.
    void StartSession() { PiecesInSession = 0; }

    TSimTracker Config;  // mode and faults change while it runs
    const TFlashLayout* Layout = nullptr;
    uint32_t FlashStart = 0;
    QByteArray Flash;

private:
    TDeviceReply HandleText(const QByteArray& text);
    TDeviceReply HandleRecord(const QByteArray& record);
    QByteArray Erase(const TLoaderHeader& request);
    QByteArray Write(const TLoaderHeader& request, const QByteArray& record);
    uint16_t EchoedSector(uint16_t sector) const;

    int PiecesInSession = 0;
};

}  // namespace ql::sim
