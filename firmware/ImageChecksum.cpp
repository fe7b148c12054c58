#include "firmware/ImageChecksum.h"

namespace ql {

uint16_t ImageChecksum(const uint8_t* bytes, size_t count)
{
    uint32_t sum = 0;
    auto add = [&sum](uint32_t word) {
        sum += word;
        if (sum > 0xFFFF)
            sum = (sum & 0xFFFF) + 1;
    };
    size_t i = 0;
    for (; i + 1 < count; i += 2)
        add(uint32_t(bytes[i]) | uint32_t(bytes[i + 1]) << 8);
    if (i < count)
        add(bytes[i]);
    return static_cast<uint16_t>(sum);
}

}  // namespace ql
