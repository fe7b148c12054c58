#pragma once
// The messages between the stand-in driver libraries and the simulator, over a local
// SOCK_SEQPACKET socket (one message per packet, so a reply is never seen in part).
//
// A library opens one connection per enumeration and one per open device handle:
//
//   library -> simulator                       simulator -> library
//   'L' kind                                   'l' count, then count entries:
//                                                 serial u32, tag u16, n u8, n bytes text
//   'O' kind, tag u16, serial text             'o' status u8 (0 = opened)
//   'W' bytes sent to the tracker              'D' bytes the tracker sent back
//
// The simulator closes a device connection when its tracker drops off the bus; the
// library then fails every further call on that handle once the bytes it already holds
// are read. Multi-byte fields are little-endian. No Qt here: the libraries use it too.

#include <cstddef>
#include <cstdint>

namespace ql::sim::wire {

inline constexpr char kSocketEnv[] = "QLSIM_SOCKET";

inline constexpr uint8_t kLinkFtdi = 0;
inline constexpr uint8_t kLinkMakerUsb = 1;

inline constexpr uint8_t kList = 'L';
inline constexpr uint8_t kListReply = 'l';
inline constexpr uint8_t kOpen = 'O';
inline constexpr uint8_t kOpenReply = 'o';
inline constexpr uint8_t kWrite = 'W';
inline constexpr uint8_t kData = 'D';

inline constexpr size_t kMaxMessage = 65536;
inline constexpr int kReplyTimeoutMs = 2000;  // list and open answers

inline void PutU16(uint8_t* at, uint16_t v)
{
    at[0] = uint8_t(v);
    at[1] = uint8_t(v >> 8);
}
inline void PutU32(uint8_t* at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(v >> (8 * i));
}
inline uint16_t GetU16(const uint8_t* at)
{
    return uint16_t(at[0] | (at[1] << 8));
}
inline uint32_t GetU32(const uint8_t* at)
{
    return uint32_t(at[0]) | (uint32_t(at[1]) << 8) | (uint32_t(at[2]) << 16)
           | (uint32_t(at[3]) << 24);
}

}  // namespace ql::sim::wire
