// Any bytes as a firmware image: the parser must refuse or accept without reading outside
// the image, and an accepted image's block must be the rest of it behind the header.
// Each input is parsed as it is and once more with its size word and checksum made right
// (the flags kept), so the fuzzer reaches the version, date and extra-word parts.

#include "firmware/ImageFormat.h"
#include "core/LogSink.h"

#include <QtEndian>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

class TNullLog : public ql::TLogSink {
public:
    void LogDeviceText(ql::TLogKind, int, const QString&) override {}
};

void Parse(const uint8_t* image, uint32_t size)
{
    TNullLog log;
    ql::TFirmwareVersion version;
    ql::FirmwareList blocks;
    ql::TImageHeader header;
    try {
        if (ql::ParseFirmwareImage(image, size, version, blocks, log, &header)) {
            if (blocks.size() != 1 || header.HeaderLength > size
                || blocks[0]->Length != size - header.HeaderLength)
                std::abort();
            if (blocks[0]->Length > 0
                && std::memcmp(blocks[0]->Data.data(), image + header.HeaderLength, blocks[0]->Length) != 0)
                std::abort();
            (void)ql::VersionText(version);
            (void)ql::DateText(version);
        }
    } catch (const ql::TFirmwareBlockTooBig&) {
    }
    ql::ClearFirmwareList(blocks);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exactly sized copy, so a read past the image is caught.
    auto image = std::make_unique<uint8_t[]>(size);
    if (size > 0)
        std::memcpy(image.get(), data, size);
    Parse(image.get(), uint32_t(size));

    if (size >= ql::kImageFixedHeaderSize) {
        const uint32_t flags = qFromLittleEndian<uint32_t>(image.get()) & ~ql::kImageSizeMask;
        qToLittleEndian(flags | (uint32_t(size) & ql::kImageSizeMask), image.get());
        qToLittleEndian(ql::ComputeImageChecksum(image.get(), uint32_t(size)),
                        image.get() + ql::kImageChecksumOffset);
        Parse(image.get(), uint32_t(size));
    }
    return 0;
}
