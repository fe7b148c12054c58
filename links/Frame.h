#pragma once
// The framed unit of COM-port links.
//
//   0      1  start byte 0xFE
//   1      4  address: FF FF FF FF from the loader; never looked at in replies
//   5      2  length L of the whole frame, start byte and CRC included
//   7      1  command (reply: the code of what is answered)
//   8   L-10  data; a reply's data begin with a 4-byte result code, 0 = success
//   L-2    2  FrameCrc16 over bytes 0..L-3, low byte first
//
// Requests to a device travel tunnelled: command 0xF0 with the device's own bytes as data.

#include <cstddef>
#include <cstdint>

namespace ql {

inline constexpr uint8_t kFrameStart = 0xFE;
inline constexpr uint8_t kTunnelCommand = 0xF0;
inline constexpr int kFrameOverhead = 10;        // start, address, length, command, CRC
inline constexpr int kMaxFrameSize = 100;        // the COM link's frame buffers
inline constexpr int kMaxTunnelPayload = kMaxFrameSize - kFrameOverhead;  // 90
inline constexpr int kFrameLengthOffset = 5;
inline constexpr int kFrameCommandOffset = 7;
inline constexpr int kFrameDataOffset = 8;
inline constexpr int kReplyResultOffset = 8;
inline constexpr int kReplyDataOffset = 12;
inline constexpr int kMaxReplyData = kMaxFrameSize - kReplyDataOffset - 2;  // 86
inline constexpr uint16_t kFrameCrcInitial = 0xFFFF;

// The two requests sent as frames of their own on a COM port.
inline constexpr uint8_t kSerialNumberCommand = 0x00;  // data: one byte 0x0A
inline constexpr uint8_t kSerialNumberData = 0x0A;
inline constexpr uint8_t kSerialNumberReplyCommand = 0x0A;
inline constexpr int kSerialNumberReplyLength = 18;
inline constexpr uint8_t kLoaderStartCommand = 0xEF;

// CRC-16/IBM-3740 (polynomial 0x1021, no reflection, no final XOR). Callers pass 0xFFFF.
uint16_t FrameCrc16(uint16_t initial, const uint8_t* bytes, size_t count);

// A frame with the loader's address; out holds at least count + 10 bytes. Returns the
// frame length.
int BuildFrame(uint8_t command, const uint8_t* data, int count, uint8_t* out);

// A tunnel frame for 0..90 payload bytes; out holds at least 100 bytes. 0 for a payload
// that does not fit.
int BuildTunnelFrame(const uint8_t* payload, int count, uint8_t* out);

// A reply frame as a device sends it: result code, then the reply data.
int BuildReplyFrame(uint8_t command, uint32_t resultCode, const uint8_t* data, int count,
                    uint8_t* out);

// The serial number in the answer to the serial-number request: a whole 18-byte frame
// (its length field 18, its CRC right) answering command 0x0A with result code 0; the
// number is the reply data's first four bytes, low byte first. False for anything else.
bool ParseSerialNumberReply(const uint8_t* frame, int length, uint32_t& serial);

// Start byte, length field equal to length, CRC. Command, address and result code are
// not examined; a stray byte before the start byte makes the frame invalid.
bool CheckFrame(const uint8_t* bytes, uint16_t length);

}  // namespace ql
