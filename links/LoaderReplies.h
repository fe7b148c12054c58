#pragma once
// How the loader judges a bootloader's reply records: identification's version and
// processor replies, and the sector dialogue's compatibility, erase and write replies.
// Each takes the bytes a read delivered (count as returned by the read) and reads
// nothing beyond them.

#include "links/LoaderRecord.h"

#include <cstdint>
#include <optional>

namespace ql {

struct TFirmwareVersion;

// Requests 4 and 5: an accepted reply's version text parsed into version; false, and
// version untouched, for any other reply.
bool TakeVersionReply(const uint8_t* reply, int count, TFirmwareVersion& version);

// Request 10: an accepted reply's processor identifier; false for any other reply.
bool TakeProcessorIdReply(const uint8_t* reply, int count, uint32_t& processorId);

enum class TCompatibilityVerdict {
    NoReply,    // fewer than 14 bytes: message "no compatibility reply"
    Malformed,  // a header of another length, or a total below the header
    Accepted,
    Refused,    // the status the request names for "not this image"
    Other,      // any other status
};

// Requests 14 and 15.
TCompatibilityVerdict JudgeCompatibilityReply(const uint8_t* reply, int count,
                                              uint16_t refusedStatus);

enum class TSectorVerdict {
    Unmatched,  // not a bare header for this sector (and piece): its status is not taken
    Accepted,
    Protected,  // 0x83: counts as done, with a red line
    Refused,    // any other status
};

// An erase (no address) or write-piece reply: a bare 14-byte header that names the
// sector, and for a piece its address.
TSectorVerdict JudgeSectorReply(const TLoaderHeader& reply, uint16_t sector,
                                std::optional<uint32_t> address = std::nullopt);

}  // namespace ql
