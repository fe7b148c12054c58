#include "links/Frame.h"

#include <QtEndian>

#include <array>
#include <cstring>

namespace ql {
namespace {

constexpr uint16_t kPolynomial = 0x1021;

constexpr std::array<uint16_t, 256> MakeCrcTable()
{
    std::array<uint16_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ kPolynomial : crc << 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = MakeCrcTable();
static_assert(kCrcTable[1] == 0x1021 && kCrcTable[255] == 0x1EF0);

}  // namespace

uint16_t FrameCrc16(uint16_t initial, const uint8_t* bytes, size_t count)
{
    uint16_t crc = initial;
    for (size_t i = 0; i < count; ++i)
        crc = static_cast<uint16_t>(kCrcTable[((crc >> 8) ^ bytes[i]) & 0xFF] ^ (crc << 8));
    return crc;
}

int BuildFrame(uint8_t command, const uint8_t* data, int count, uint8_t* out)
{
    const int length = count + kFrameOverhead;
    out[0] = kFrameStart;
    std::memset(out + 1, 0xFF, 4);
    qToLittleEndian(static_cast<uint16_t>(length), out + kFrameLengthOffset);
    out[kFrameCommandOffset] = command;
    if (count > 0)
        std::memcpy(out + kFrameDataOffset, data, static_cast<size_t>(count));
    qToLittleEndian(FrameCrc16(kFrameCrcInitial, out, static_cast<size_t>(length - 2)),
                    out + length - 2);
    return length;
}

int BuildTunnelFrame(const uint8_t* payload, int count, uint8_t* out)
{
    if (count < 0 || count > kMaxTunnelPayload)
        return 0;
    return BuildFrame(kTunnelCommand, payload, count, out);
}

int BuildReplyFrame(uint8_t command, uint32_t resultCode, const uint8_t* data, int count,
                    uint8_t* out)
{
    uint8_t body[kMaxFrameSize];
    if (count < 0 || count > kMaxReplyData)
        return 0;
    qToLittleEndian(resultCode, body);
    if (count > 0)
        std::memcpy(body + 4, data, static_cast<size_t>(count));
    return BuildFrame(command, body, count + 4, out);
}

bool CheckFrame(const uint8_t* bytes, uint16_t length)
{
    if (length < kFrameOverhead || bytes[0] != kFrameStart)
        return false;
    if (qFromLittleEndian<uint16_t>(bytes + kFrameLengthOffset) != length)
        return false;
    return FrameCrc16(kFrameCrcInitial, bytes, length - 2u)
           == qFromLittleEndian<uint16_t>(bytes + length - 2);
}

bool ParseSerialNumberReply(const uint8_t* frame, int length, uint32_t& serial)
{
    serial = 0;
    if (length != kSerialNumberReplyLength || !CheckFrame(frame, uint16_t(length))
        || frame[kFrameCommandOffset] != kSerialNumberReplyCommand
        || qFromLittleEndian<uint32_t>(frame + kReplyResultOffset) != 0)
        return false;
    serial = qFromLittleEndian<uint32_t>(frame + kReplyDataOffset);
    return true;
}

}  // namespace ql
