#pragma once
// The record of every binary exchange with a device's bootloader, requests and replies
// alike. All fields little-endian:
//
//   0   2  total length, header and payload
//   2   2  header length: 14
//   4   2  command (request) or status (reply); 0x80 = accepted
//   6   2  16-bit argument
//   8   4  32-bit argument
//  12   2  ImageChecksum over the whole record, this field taken as 0
//  14      payload

#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace ql {

inline constexpr int kLoaderHeaderSize = 14;
inline constexpr int kLoaderChecksumOffset = 12;
inline constexpr int kMaxLoaderReply = 1024;  // what a bootloader reply may hold
inline constexpr uint16_t kDefaultArgument = 10;  // 16-bit argument of requests without a sector

// Requests.
inline constexpr uint16_t kCmdFirmwareVersion = 4;
inline constexpr uint16_t kCmdBootloaderVersion = 5;
inline constexpr uint16_t kCmdProcessorId = 10;
inline constexpr uint16_t kCmdFinish = 11;
inline constexpr uint16_t kCmdAbort = 12;
inline constexpr uint16_t kCmdStartApplication = 13;
inline constexpr uint16_t kCmdFirmwareCompatibility = 14;
inline constexpr uint16_t kCmdSdCompatibility = 15;
inline constexpr uint16_t kCmdEraseOld = 1;
inline constexpr uint16_t kCmdWriteOld = 2;
inline constexpr uint16_t kCmdErase = 6;
inline constexpr uint16_t kCmdWrite = 7;

// Statuses in a reply's command field.
inline constexpr uint16_t kStatusAccepted = 0x80;
inline constexpr uint16_t kStatusProtected = 0x83;
inline constexpr uint16_t kStatusSdRefused = 0x88;
inline constexpr uint16_t kStatusLocked = 0x8A;
inline constexpr uint16_t kStatusTooOld = 0x8B;

struct TLoaderHeader {
    uint16_t TotalLength = 0;
    uint16_t HeaderLength = 0;
    uint16_t Command = 0;  // status in a reply
    uint16_t Argument16 = 0;
    uint32_t Argument32 = 0;
    uint16_t Checksum = 0;
};

// A complete record with its checksum. The payload may be empty.
QByteArray BuildLoaderRecord(uint16_t command, uint16_t argument16, uint32_t argument32,
                             const uint8_t* payload = nullptr, size_t payloadLength = 0);

// The request with the 16-bit argument 10, the 32-bit argument 0 and no payload
// (requests 4, 5, 10, 11, 12, 13).
QByteArray BuildSimpleRequest(uint16_t command);

// The header of count received bytes; false when fewer than 14 arrived.
bool ReadLoaderHeader(const uint8_t* bytes, size_t count, TLoaderHeader& header);

// Identification's acceptance test: at least 14 bytes, header length 14, status 0x80 and
// a total length above 14. The total is not compared with what arrived.
bool IsAcceptedReply(const uint8_t* bytes, size_t count);

// The version text of an accepted reply: the payload up to its first zero byte or the end
// of the bytes received.
QByteArray ReplyVersionText(const uint8_t* bytes, size_t count);

// The processor identifier at offset 14; bytes that did not arrive count as zero.
uint32_t ReplyProcessorId(const uint8_t* bytes, size_t count);

// True when the checksum field matches the record's bytes (the device side checks it).
bool LoaderChecksumValid(const uint8_t* bytes, size_t count);

}  // namespace ql
