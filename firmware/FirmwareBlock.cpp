#include "firmware/FirmwareBlock.h"

#include "core/MessageCatalogue.h"

namespace ql {

TFirmwareBlockTooBig::TFirmwareBlockTooBig()
    : text_(Msg(msg::BlockTooBig)), utf8_(text_.toStdString())
{
}

std::unique_ptr<TFirmwareBlock> CreateFirmwareBlock(const uint8_t* bytes, uint32_t length,
                                                    int32_t offset)
{
    if (length > kMaxBlockSize)
        throw TFirmwareBlockTooBig();
    auto block = std::make_unique<TFirmwareBlock>();
    block->Offset = offset;
    block->Length = length;
    block->Data = TSharedBytes::Shared(TSharedBytes::TStore(bytes, bytes + length));
    return block;
}

void ClearFirmwareList(FirmwareList& list)
{
    list.clear();
}

}  // namespace ql
