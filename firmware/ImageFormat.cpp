#include "firmware/ImageFormat.h"

#include "core/MessageCatalogue.h"
#include "firmware/ImageChecksum.h"
#include "firmware/TextScan.h"
#include "core/LogSink.h"

#include <QtEndian>

namespace ql {
namespace {

// Reads the header parts in order and refuses any part that would run past the end.
class THeaderReader {
public:
    THeaderReader(const uint8_t* bytes, uint32_t size) : bytes_(bytes), size_(size) {}
    bool Has(uint32_t count) const { return count <= size_ - pos_; }
    uint16_t U16() { const uint16_t v = qFromLittleEndian<uint16_t>(bytes_ + pos_); pos_ += 2; return v; }
    uint32_t U32() { const uint32_t v = qFromLittleEndian<uint32_t>(bytes_ + pos_); pos_ += 4; return v; }
    QByteArray Bytes(uint32_t count)
    {
        QByteArray v(reinterpret_cast<const char*>(bytes_ + pos_), count);
        pos_ += count;
        return v;
    }
    // A 16-bit length followed by that many bytes; false when either runs past the end.
    bool LengthAndBytes(QByteArray& out)
    {
        if (!Has(2))
            return false;
        const uint16_t length = U16();
        if (!Has(length))
            return false;
        out = Bytes(length);
        return true;
    }
    uint32_t Pos() const { return pos_; }

private:
    const uint8_t* bytes_;
    uint32_t size_;
    uint32_t pos_ = 0;
};

// "%d.%d.%d %d:%d:%d": day, month, year, hour, minute, second.
bool DecodeBuildDate(const QByteArray& text, double& out)
{
    static const char kPattern[] = {'.', '.', ' ', ':', ':'};
    int fields[6] = {};
    qsizetype pos = 0;
    for (int i = 0; i < 6; ++i) {
        if (i > 0 && !ScanLiteral(text, pos, kPattern[i - 1]))
            return false;
        if (!ScanInt(text, pos, fields[i]))
            return false;
    }
    return EncodeOleDate(fields[2], fields[1], fields[0], fields[3], fields[4], fields[5], out);
}

void PutU16(QByteArray& out, uint16_t v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void PutU32(QByteArray& out, uint32_t v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

}  // namespace

uint16_t ComputeImageChecksum(const uint8_t* image, uint32_t size)
{
    // The count is the size kept in 16 bits: images of whole 64 KiB units sum their
    // header only, and every stored image was made that way.
    const uint32_t count = size & 0xFFFF;
    if (count <= kImageChecksumOffset)
        return ImageChecksum(image, count);
    std::vector<uint8_t> head(image, image + count);
    if (count > kImageChecksumOffset)
        head[kImageChecksumOffset] = 0;
    if (count > kImageChecksumOffset + 1)
        head[kImageChecksumOffset + 1] = 0;
    return ImageChecksum(head.data(), count);
}

bool ParseFirmwareImage(const uint8_t* image, uint32_t size, TFirmwareVersion& version,
                        FirmwareList& list, TLogSink& log, TImageHeader* header)
{
    TImageHeader h;
    THeaderReader reader(image, size);
    if (!reader.Has(4)) {
        LogCatalogue(log, lkError, msg::WrongSize);
        return false;
    }
    h.SizeWord = reader.U32();
    uint32_t total = h.SizeWord;
    h.HasExtraWords = (total & kImageExtraFlag) != 0;
    total &= ~kImageExtraFlag;
    h.HasDate = (total & kImageDateFlag) != 0;
    total &= ~kImageDateFlag;
    h.TotalSize = total;
    if (total != size || !reader.Has(kImageFixedHeaderSize - 4)) {
        LogCatalogue(log, lkError, msg::WrongSize);
        return false;
    }

    h.StoredChecksum = reader.U16();
    h.ComputedChecksum = ComputeImageChecksum(image, size);
    if (header)
        *header = h;
    if (h.StoredChecksum != h.ComputedChecksum) {
        LogCatalogue(log, lkError, msg::ChecksumError);
        return false;
    }

    // Every length is checked against the image before anything is taken over, so a
    // header that runs past the end changes nothing.
    if (!reader.LengthAndBytes(h.VersionString)
        || (h.HasDate && !reader.LengthAndBytes(h.DateString))
        || (h.HasExtraWords && !reader.Has(8))) {
        LogCatalogue(log, lkError, msg::WrongSize);
        return false;
    }
    if (h.HasExtraWords) {
        h.StartOffset = reader.U32();
        h.SdRequirement = reader.U32();
    }
    h.HeaderLength = reader.Pos();
    h.PayloadLength = size - h.HeaderLength;
    if (header)
        *header = h;

    if (!ParseVersion(version, UpToZero(h.VersionString)))
        return false;

    version.BuildDate = 0;
    if (h.HasDate) {
        double date = 0;
        if (DecodeBuildDate(UpToZero(h.DateString), date))
            version.BuildDate = date;
        else
            LogCatalogue(log, lkError, msg::DateDecodeError);
    }
    version.StartOffset = h.HasExtraWords ? h.StartOffset : 0;
    version.SdRequirement = h.HasExtraWords ? h.SdRequirement : 0xFFFFFFFF;
    version.IsNrfImage = version.Tag == kNrfImageTag;

    list.push_back(CreateFirmwareBlock(image + h.HeaderLength, h.PayloadLength, kAtFirstSector));
    return true;
}

QByteArray BuildFirmwareImage(const QByteArray& versionText, const QByteArray& date,
                              bool withExtraWords, uint32_t startOffset, uint32_t sdRequirement,
                              const QByteArray& payload)
{
    QByteArray image;
    PutU32(image, 0);  // size word, set below
    PutU16(image, 0);  // checksum, set below
    PutU16(image, static_cast<uint16_t>(versionText.size()));
    image.append(versionText);
    if (!date.isEmpty()) {
        PutU16(image, static_cast<uint16_t>(date.size()));
        image.append(date);
    }
    if (withExtraWords) {
        PutU32(image, startOffset);
        PutU32(image, sdRequirement);
    }
    image.append(payload);

    uint32_t sizeWord = static_cast<uint32_t>(image.size()) & kImageSizeMask;
    if (!date.isEmpty())
        sizeWord |= kImageDateFlag;
    if (withExtraWords)
        sizeWord |= kImageExtraFlag;
    qToLittleEndian(sizeWord, image.data());
    const auto* bytes = reinterpret_cast<const uint8_t*>(image.constData());
    qToLittleEndian(ComputeImageChecksum(bytes, static_cast<uint32_t>(image.size())),
                    image.data() + kImageChecksumOffset);
    return image;
}

}  // namespace ql
