// Any bytes as a bootloader reply: judging it and taking its payload never read past the
// bytes received.

#include "links/LoaderRecord.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ql::TLoaderHeader header;
    (void)ql::ReadLoaderHeader(data, size, header);
    (void)ql::IsAcceptedReply(data, size);
    (void)ql::LoaderChecksumValid(data, size);
    const QByteArray text = ql::ReplyVersionText(data, size);
    if (size_t(text.size()) + ql::kLoaderHeaderSize > size && !text.isEmpty())
        std::abort();
    (void)ql::ReplyProcessorId(data, size);
    return 0;
}
