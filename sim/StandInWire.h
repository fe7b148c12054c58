#pragma once
// The messages between the stand-in driver libraries and the simulator, over a local
// SOCK_SEQPACKET socket (one message per packet, so a reply is never seen in part).
//
// A library opens one connection per enumeration and one per open device handle:
//
//   library -> simulator                       simulator -> library
//   'L' kind                                   'l' count u16, then count list entries
//   'O' kind, tag u16, serial text             'o' status u8 (0 = opened), flags u8
//   'W' bytes sent to the tracker              'D' bytes the tracker sent back
//   'T' latency timer u8 (FTDI: set it)
//   'P' (FTDI: drop what waits in the bridge)
//
// An FTDI bridge holds the tracker's bytes until its latency timer runs out (or a packet
// fills), as the chip does; each open starts at the default timer. The open reply's flag
// kOpenFixedLatencyTimer says the bridge keeps its timer whatever is set.
// The simulator closes a device connection when its tracker drops off the bus; the
// library then fails every further call on that handle once the bytes it already holds
// are read. Multi-byte fields are little-endian. No Qt here: the libraries use it too.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
inline constexpr uint8_t kSetLatencyTimer = 'T';
inline constexpr uint8_t kPurge = 'P';

inline constexpr size_t kOpenReplySize = 3;  // 'o', status, flags
inline constexpr uint8_t kOpenFixedLatencyTimer = 0x01;

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

// One tracker of a list reply: serial u32, tag u16, n u8, then n bytes of text.
struct TListEntry {
    uint32_t Serial = 0;
    uint16_t Tag = 0;  // maker USB: the device number
    std::string Text;  // FTDI: the bridge's description
};

inline constexpr size_t kListReplyHeader = 3;  // 'l', count u16
inline constexpr size_t kListEntryFixed = 7;   // serial, tag, text length
inline constexpr size_t kMaxListText = 255;

// The whole list reply; texts longer than kMaxListText are cut.
inline std::vector<uint8_t> BuildListReply(const std::vector<TListEntry>& entries)
{
    std::vector<uint8_t> reply(kListReplyHeader);
    reply[0] = kListReply;
    PutU16(&reply[1], uint16_t(entries.size()));
    for (const TListEntry& entry : entries) {
        const size_t textLength = std::min(entry.Text.size(), kMaxListText);
        const size_t at = reply.size();
        reply.resize(at + kListEntryFixed);
        PutU32(&reply[at], entry.Serial);
        PutU16(&reply[at + 4], entry.Tag);
        reply[at + 6] = uint8_t(textLength);
        reply.insert(reply.end(), entry.Text.begin(), entry.Text.begin() + ptrdiff_t(textLength));
    }
    return reply;
}

// False when the bytes are no list reply or an entry runs past their end.
inline bool ParseListReply(const uint8_t* bytes, size_t count, std::vector<TListEntry>& entries)
{
    entries.clear();
    if (count < kListReplyHeader || bytes[0] != kListReply)
        return false;
    const size_t listed = GetU16(bytes + 1);
    size_t at = kListReplyHeader;
    for (size_t i = 0; i < listed; ++i) {
        if (at + kListEntryFixed > count)
            return false;
        TListEntry entry;
        entry.Serial = GetU32(bytes + at);
        entry.Tag = GetU16(bytes + at + 4);
        const size_t textLength = bytes[at + 6];
        at += kListEntryFixed;
        if (at + textLength > count)
            return false;
        entry.Text.assign(reinterpret_cast<const char*>(bytes + at), textLength);
        at += textLength;
        entries.push_back(std::move(entry));
    }
    return true;
}

// The open request: kind, the tag (maker USB's device number), the serial number's text.
inline constexpr size_t kOpenRequestHeader = 4;  // 'O', kind, tag u16

inline std::vector<uint8_t> BuildOpenRequest(uint8_t kind, uint16_t tag, const std::string& serialText)
{
    std::vector<uint8_t> message{kOpen, kind, 0, 0};
    PutU16(&message[2], tag);
    message.insert(message.end(), serialText.begin(), serialText.end());
    return message;
}

}  // namespace ql::sim::wire
