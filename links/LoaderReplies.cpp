#include "links/LoaderReplies.h"

#include "firmware/FirmwareVersion.h"

namespace ql {

bool TakeVersionReply(const uint8_t* reply, int count, TFirmwareVersion& version)
{
    if (count <= 0 || !IsAcceptedReply(reply, size_t(count)))
        return false;
    ParseVersion(version, ReplyVersionText(reply, size_t(count)));
    return true;
}

bool TakeProcessorIdReply(const uint8_t* reply, int count, uint32_t& processorId)
{
    if (count <= 0 || !IsAcceptedReply(reply, size_t(count)))
        return false;
    processorId = ReplyProcessorId(reply, size_t(count));
    return true;
}

TCompatibilityVerdict JudgeCompatibilityReply(const uint8_t* reply, int count,
                                              uint16_t refusedStatus)
{
    TLoaderHeader header;
    if (count < kLoaderHeaderSize || !ReadLoaderHeader(reply, size_t(count), header))
        return TCompatibilityVerdict::NoReply;
    if (header.HeaderLength != kLoaderHeaderSize || header.TotalLength < kLoaderHeaderSize)
        return TCompatibilityVerdict::Malformed;
    if (header.Command == kStatusAccepted)
        return TCompatibilityVerdict::Accepted;
    return header.Command == refusedStatus ? TCompatibilityVerdict::Refused
                                           : TCompatibilityVerdict::Other;
}

TSectorVerdict JudgeSectorReply(const TLoaderHeader& reply, uint16_t sector,
                                std::optional<uint32_t> address)
{
    if (reply.TotalLength != kLoaderHeaderSize || reply.HeaderLength != kLoaderHeaderSize
        || reply.Argument16 != sector || (address && reply.Argument32 != *address))
        return TSectorVerdict::Unmatched;
    if (reply.Command == kStatusAccepted)
        return TSectorVerdict::Accepted;
    return reply.Command == kStatusProtected ? TSectorVerdict::Protected : TSectorVerdict::Refused;
}

}  // namespace ql
