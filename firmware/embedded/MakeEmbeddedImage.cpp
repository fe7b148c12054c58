// Writes the image the program carries inside itself: version QRGX-13.39-a6, built
// 04.04.2025 16:56:42, no extra words, and 13 x 64 KiB of deterministic pseudo-random
// payload standing for the maker's enciphered firmware. Run at build time.
// Usage: MakeEmbeddedImage OUT

#include "firmware/ImageFormat.h"

#include <QFile>

#include <cstdio>

namespace {

constexpr int kPayloadSize = 13 * 65536;
constexpr uint32_t kSeed = 0x51524758;  // "QRGX"

QByteArray Payload()
{
    QByteArray payload(kPayloadSize, '\0');
    uint32_t x = kSeed;  // xorshift32: the same bytes on every machine and every build
    for (char& byte : payload) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<char>(x >> 24);
    }
    return payload;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: MakeEmbeddedImage OUT\n");
        return 2;
    }
    const QByteArray image = ql::BuildFirmwareImage("QRGX-13.39-a6", "04.04.2025 16:56:42",
                                                    false, 0, 0xFFFFFFFF, Payload());
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(image) != image.size()) {
        std::fprintf(stderr, "MakeEmbeddedImage: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
