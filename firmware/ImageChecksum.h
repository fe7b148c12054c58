#pragma once
// The 16-bit one's-complement sum (end-around carry, no final inversion) over
// little-endian words that checks firmware images and every bootloader record.

#include <cstddef>
#include <cstdint>

namespace ql {

// A trailing odd byte counts as a word with a zero high byte.
uint16_t ImageChecksum(const uint8_t* bytes, size_t count);

}  // namespace ql
