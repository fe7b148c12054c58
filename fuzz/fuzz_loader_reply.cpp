// Any bytes as what a read delivered for a bootloader request, judged as identification
// (requests 4, 5, 10) and the sector dialogue (14, 15, erase, write) judge it: nothing is
// read past the bytes received, and a reply is taken only when its header says so.

#include "firmware/FirmwareVersion.h"
#include "links/LoaderReplies.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Judge(const uint8_t* reply, int count)
{
    ql::TLoaderHeader header;
    const bool whole = ql::ReadLoaderHeader(reply, size_t(count), header);
    const bool accepted = ql::IsAcceptedReply(reply, size_t(count));
    Check(!accepted || (whole && header.Command == ql::kStatusAccepted));

    ql::TFirmwareVersion version;
    ql::ResetVersion(version);
    Check(ql::TakeVersionReply(reply, count, version) == accepted);
    (void)ql::VersionText(version);
    uint32_t processor = 0xA5A5A5A5;
    Check(ql::TakeProcessorIdReply(reply, count, processor) == accepted);
    Check(accepted || processor == 0xA5A5A5A5);
    (void)ql::LoaderChecksumValid(reply, size_t(count));

    for (uint16_t refused : {ql::kStatusTooOld, ql::kStatusSdRefused}) {
        const auto verdict = ql::JudgeCompatibilityReply(reply, count, refused);
        Check((verdict == ql::TCompatibilityVerdict::NoReply) == !whole);
        if (verdict == ql::TCompatibilityVerdict::Accepted)
            Check(header.Command == ql::kStatusAccepted && header.HeaderLength == ql::kLoaderHeaderSize);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > size_t(ql::kMaxLoaderReply))
        return 0;
    const int count = int(size);
    // As the callers hold it: a zeroed buffer of the largest reply.
    std::array<uint8_t, ql::kMaxLoaderReply> buffer{};
    std::memcpy(buffer.data(), data, size);
    Judge(buffer.data(), count);
    // And in a block of exactly the bytes received, so a read past them is caught.
    auto exact = std::make_unique<uint8_t[]>(size);
    if (size > 0)
        std::memcpy(exact.get(), data, size);
    Judge(exact.get(), count);

    // Erase and write replies are judged only when exactly a header arrived.
    if (size >= size_t(ql::kLoaderHeaderSize)) {
        ql::TLoaderHeader reply;
        ql::ReadLoaderHeader(exact.get(), size_t(ql::kLoaderHeaderSize), reply);
        const uint16_t sector = uint16_t(reply.Argument16 ^ (size & 1));
        const uint32_t address = reply.Argument32 ^ uint32_t(size & 2);
        for (const auto verdict : {ql::JudgeSectorReply(reply, sector),
                                   ql::JudgeSectorReply(reply, sector, address)}) {
            if (verdict == ql::TSectorVerdict::Unmatched)
                continue;
            Check(reply.TotalLength == ql::kLoaderHeaderSize && reply.Argument16 == sector);
            Check((verdict == ql::TSectorVerdict::Accepted) == (reply.Command == ql::kStatusAccepted));
            Check((verdict == ql::TSectorVerdict::Protected) == (reply.Command == ql::kStatusProtected));
        }
        if (ql::JudgeSectorReply(reply, sector, address) != ql::TSectorVerdict::Unmatched)
            Check(reply.Argument32 == address);
    }
    return 0;
}
