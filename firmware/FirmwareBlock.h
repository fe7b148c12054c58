#pragma once
// A block of image payload with the flash offset it goes to, and the caller-owned list
// that one firmware load fills.

#include "firmware/SharedBytes.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace ql {

inline constexpr uint32_t kMaxBlockSize = 0x200000;  // 2097152 bytes
inline constexpr int32_t kAtFirstSector = -1;        // Offset: start of the first programmable sector

struct TFirmwareBlock {
    int32_t Offset = kAtFirstSector;
    uint32_t Length = 0;
    // The Length payload bytes, one copy in the program for every block of the same bytes.
    TSharedBytes Data;
};

using FirmwareList = std::vector<std::unique_ptr<TFirmwareBlock>>;

// Raised when a block above kMaxBlockSize is created; carries message 50 in the current
// language. The one place where the loader throws instead of returning false.
class TFirmwareBlockTooBig : public std::exception {
public:
    TFirmwareBlockTooBig();
    const QString& Text() const { return text_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    QString text_;
    std::string utf8_;
};

// Copies the bytes, or shares a copy of the same bytes already alive; throws TFirmwareBlockTooBig before allocating anything when length
// exceeds kMaxBlockSize.
std::unique_ptr<TFirmwareBlock> CreateFirmwareBlock(const uint8_t* bytes, uint32_t length,
                                                    int32_t offset);

void ClearFirmwareList(FirmwareList& list);

}  // namespace ql
