#include "links/LoaderRecord.h"

#include "firmware/ImageChecksum.h"

#include <QtEndian>

#include <cstring>

namespace ql {

QByteArray BuildLoaderRecord(uint16_t command, uint16_t argument16, uint32_t argument32,
                             const uint8_t* payload, size_t payloadLength)
{
    const size_t total = kLoaderHeaderSize + payloadLength;
    QByteArray record(static_cast<qsizetype>(total), '\0');
    auto* b = reinterpret_cast<uint8_t*>(record.data());
    qToLittleEndian(static_cast<uint16_t>(total), b);
    qToLittleEndian(static_cast<uint16_t>(kLoaderHeaderSize), b + 2);
    qToLittleEndian(command, b + 4);
    qToLittleEndian(argument16, b + 6);
    qToLittleEndian(argument32, b + 8);
    if (payloadLength > 0)
        std::memcpy(b + kLoaderHeaderSize, payload, payloadLength);
    qToLittleEndian(ImageChecksum(b, total), b + kLoaderChecksumOffset);
    return record;
}

QByteArray BuildSimpleRequest(uint16_t command)
{
    return BuildLoaderRecord(command, kDefaultArgument, 0);
}

bool ReadLoaderHeader(const uint8_t* bytes, size_t count, TLoaderHeader& header)
{
    if (count < size_t(kLoaderHeaderSize))
        return false;
    header.TotalLength = qFromLittleEndian<uint16_t>(bytes);
    header.HeaderLength = qFromLittleEndian<uint16_t>(bytes + 2);
    header.Command = qFromLittleEndian<uint16_t>(bytes + 4);
    header.Argument16 = qFromLittleEndian<uint16_t>(bytes + 6);
    header.Argument32 = qFromLittleEndian<uint32_t>(bytes + 8);
    header.Checksum = qFromLittleEndian<uint16_t>(bytes + kLoaderChecksumOffset);
    return true;
}

bool IsAcceptedReply(const uint8_t* bytes, size_t count)
{
    TLoaderHeader h;
    return ReadLoaderHeader(bytes, count, h) && h.HeaderLength == kLoaderHeaderSize
           && h.Command == kStatusAccepted && h.TotalLength > kLoaderHeaderSize;
}

QByteArray ReplyVersionText(const uint8_t* bytes, size_t count)
{
    if (count <= size_t(kLoaderHeaderSize))
        return {};
    const auto* payload = reinterpret_cast<const char*>(bytes + kLoaderHeaderSize);
    const size_t available = count - kLoaderHeaderSize;
    const void* zero = std::memchr(payload, 0, available);
    const size_t length = zero ? size_t(static_cast<const char*>(zero) - payload) : available;
    return QByteArray(payload, static_cast<qsizetype>(length));
}

uint32_t ReplyProcessorId(const uint8_t* bytes, size_t count)
{
    uint8_t id[4] = {};
    if (count > size_t(kLoaderHeaderSize))
        std::memcpy(id, bytes + kLoaderHeaderSize, std::min<size_t>(4, count - kLoaderHeaderSize));
    return qFromLittleEndian<uint32_t>(id);
}

bool LoaderChecksumValid(const uint8_t* bytes, size_t count)
{
    TLoaderHeader h;
    if (!ReadLoaderHeader(bytes, count, h))
        return false;
    QByteArray copy(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(count));
    copy[kLoaderChecksumOffset] = 0;
    copy[kLoaderChecksumOffset + 1] = 0;
    return ImageChecksum(reinterpret_cast<const uint8_t*>(copy.constData()), count) == h.Checksum;
}

}  // namespace ql
