#pragma once
// The firmware image: a little-endian header (size word with two flags, checksum, version
// text, optional build date, optional start offset and SD requirement) and an opaque
// payload that goes to the device unchanged.
//
//   0      4  size word: bit 31 date present, bit 30 extra words present, bits 0-29 total size
//   4      2  ImageChecksum of the first (size mod 65536) bytes, this field taken as 0
//   6      2  version length V, then V bytes of version text
//   +0     2  date length D, then D bytes "DD.MM.YYYY hh:mm:ss"       (bit 31)
//   +0     4  start offset, then 4 bytes SD requirement               (bit 30)
//   rest      payload

#include "firmware/FirmwareBlock.h"
#include "firmware/FirmwareVersion.h"

#include <QByteArray>

#include <cstdint>

namespace ql {

class TLogSink;

inline constexpr uint32_t kImageDateFlag = 0x80000000u;
inline constexpr uint32_t kImageExtraFlag = 0x40000000u;
inline constexpr uint32_t kImageSizeMask = 0x3FFFFFFFu;
inline constexpr uint32_t kImageChecksumOffset = 4;
inline constexpr uint32_t kImageFixedHeaderSize = 8;

// The header fields as stored, for tools that show them.
struct TImageHeader {
    uint32_t SizeWord = 0;
    uint32_t TotalSize = 0;
    bool HasDate = false;
    bool HasExtraWords = false;
    uint16_t StoredChecksum = 0;
    uint16_t ComputedChecksum = 0;
    QByteArray VersionString;
    QByteArray DateString;
    uint32_t StartOffset = 0;
    uint32_t SdRequirement = 0xFFFFFFFF;
    uint32_t HeaderLength = 0;
    uint32_t PayloadLength = 0;
};

// The checksum an image of this content must carry (bytes 4-5 counted as zero).
uint16_t ComputeImageChecksum(const uint8_t* image, uint32_t size);

// Validates one image in memory, fills version and appends one block (Offset -1) to list.
// Reports size (34), checksum (33) and date (32) problems to log itself. A header whose
// parts run past the end of the image is a size error. Throws TFirmwareBlockTooBig for a
// payload above kMaxBlockSize. header, when given, receives the raw fields.
bool ParseFirmwareImage(const uint8_t* image, uint32_t size, TFirmwareVersion& version,
                        FirmwareList& list, TLogSink& log, TImageHeader* header = nullptr);

// Builds a valid image around a payload (for tools and tests). date is "DD.MM.YYYY
// hh:mm:ss" or empty for none; extra words are written when withExtraWords is set.
QByteArray BuildFirmwareImage(const QByteArray& versionText, const QByteArray& date,
                              bool withExtraWords, uint32_t startOffset, uint32_t sdRequirement,
                              const QByteArray& payload);

}  // namespace ql
