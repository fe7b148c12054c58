// Any bytes as a firmware image: the parser must refuse or accept without reading outside
// the image, and an accepted image's block must lie inside it.

#include "firmware/ImageFormat.h"
#include "platform/LogSink.h"

#include <cstdlib>

namespace {
class TNullLog : public ql::TLogSink {
public:
    void LogDeviceText(ql::TLogKind, int, const QString&) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TNullLog log;
    ql::TFirmwareVersion version;
    ql::FirmwareList blocks;
    try {
        if (ql::ParseFirmwareImage(data, static_cast<uint32_t>(size), version, blocks, log)) {
            if (blocks.size() != 1 || blocks[0]->Length > size)
                std::abort();
            (void)ql::VersionText(version);
            (void)ql::DateText(version);
        }
    } catch (const ql::TFirmwareBlockTooBig&) {
    }
    return 0;
}
