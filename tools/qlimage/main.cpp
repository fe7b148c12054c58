// qlimage: make and check firmware images.
//
//   qlimage inspect FILE | --embedded
//   qlimage pack --version TEXT [--date "DD.MM.YYYY hh:mm:ss"]
//                [--start-offset N] [--sd-requirement N] PAYLOAD OUT

#include "core/MessageCatalogue.h"
#include "firmware/FirmwareSources.h"
#include "firmware/ImageFormat.h"
#include "core/LogSink.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {

using namespace ql;

constexpr int kExitOk = 0;
constexpr int kExitBadImage = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage:\n"
    "  qlimage inspect FILE\n"
    "  qlimage inspect --embedded\n"
    "  qlimage pack --version TEXT [--date \"DD.MM.YYYY hh:mm:ss\"]\n"
    "               [--start-offset N] [--sd-requirement N] PAYLOAD OUT\n"
    "Numbers may be decimal or 0x-prefixed hexadecimal. Giving either --start-offset or\n"
    "--sd-requirement writes both extra words (start offset 0, SD requirement 0xFFFFFFFF\n"
    "when not given).\n";

// Prints the reasons an image is refused, one line each, to standard error.
class TStderrLog : public TLogSink {
public:
    void LogDeviceText(TLogKind, int, const QString& text) override
    {
        std::fprintf(stderr, "qlimage: %s\n", qPrintable(text));
    }
};

void Print(const char* label, const QString& value)
{
    std::printf("%-17s %s\n", label, qPrintable(value));
}

int Usage(const char* problem = nullptr)
{
    if (problem)
        std::fprintf(stderr, "qlimage: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

int Inspect(const QStringList& args)
{
    if (args.size() != 1)
        return Usage("inspect takes one FILE or --embedded");
    QByteArray bytes;
    QString source;
    if (args[0] == "--embedded") {
        bytes = EmbeddedImage();
        source = QStringLiteral("embedded image");
        if (bytes.isEmpty()) {
            std::fprintf(stderr, "qlimage: %s\n", qPrintable(Msg(msg::FirmwareLoadError)));
            return kExitBadImage;
        }
    } else {
        QFile file(args[0]);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "qlimage: %s: %s\n", qPrintable(args[0]),
                         qPrintable(file.errorString()));
            return kExitBadImage;
        }
        bytes = file.readAll();
        source = args[0];
    }

    TStderrLog log;
    TFirmwareVersion version;
    FirmwareList blocks;
    TImageHeader header;
    bool ok = false;
    try {
        ok = ParseFirmwareImage(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                static_cast<uint32_t>(bytes.size()), version, blocks, log, &header);
    } catch (const TFirmwareBlockTooBig& e) {
        std::fprintf(stderr, "qlimage: %s\n", qPrintable(e.Text()));
        return kExitBadImage;
    }

    Print("source", source);
    Print("file size", QString::number(bytes.size()));
    if (bytes.size() >= 4) {
        Print("size word", QString::asprintf("0x%08X", header.SizeWord));
        Print("total size", QString::number(header.TotalSize));
        Print("flags", QStringLiteral("date %1, extra words %2")
                           .arg(header.HasDate ? "yes" : "no", header.HasExtraWords ? "yes" : "no"));
        Print("checksum", QString::asprintf("stored 0x%04X, computed 0x%04X", header.StoredChecksum,
                                            header.ComputedChecksum));
    }
    if (!ok) {
        if (version.VersionNumber == 0 && !header.VersionString.isEmpty())
            std::fprintf(stderr, "qlimage: version text \"%s\" cannot be read\n",
                         header.VersionString.constData());
        std::fprintf(stderr, "qlimage: %s\n", qPrintable(Msg(msg::FirmwareLoadError)));
        return kExitBadImage;
    }
    Print("version", VersionText(version));
    Print("version string", QString::fromLatin1(header.VersionString));
    Print("date", DateText(version));
    Print("start offset", QString::asprintf("0x%08X", version.StartOffset));
    Print("SD requirement", QString::asprintf("0x%08X", version.SdRequirement));
    Print("nRF image", version.IsNrfImage ? "yes" : "no");
    Print("header length", QString::number(header.HeaderLength));
    Print("payload length", QString::number(blocks.front()->Length));
    return kExitOk;
}

bool ParseNumber(const QString& text, uint32_t& out)
{
    bool ok = false;
    const qulonglong v = text.startsWith("0x", Qt::CaseInsensitive) ? text.mid(2).toULongLong(&ok, 16)
                                                                     : text.toULongLong(&ok, 10);
    if (!ok || v > 0xFFFFFFFFull)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

int Pack(const QStringList& args)
{
    QByteArray versionText, date;
    bool extra = false;
    uint32_t startOffset = 0, sdRequirement = 0xFFFFFFFF;
    QStringList files;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--version" && hasValue) {
            versionText = args[++i].toLatin1();
        } else if (a == "--date" && hasValue) {
            date = args[++i].toLatin1();
        } else if (a == "--start-offset" && hasValue) {
            if (!ParseNumber(args[++i], startOffset))
                return Usage("--start-offset needs a 32-bit number");
            extra = true;
        } else if (a == "--sd-requirement" && hasValue) {
            if (!ParseNumber(args[++i], sdRequirement))
                return Usage("--sd-requirement needs a 32-bit number");
            extra = true;
        } else if (a.startsWith("--")) {
            return Usage(qPrintable(QStringLiteral("unknown or incomplete option %1").arg(a)));
        } else {
            files << a;
        }
    }
    if (versionText.isEmpty() || files.size() != 2)
        return Usage("pack needs --version TEXT, PAYLOAD and OUT");

    TFirmwareVersion probe;
    if (!ParseVersion(probe, versionText)) {
        std::fprintf(stderr, "qlimage: version text \"%s\" is not TAG-major.minor[suffix]\n",
                     versionText.constData());
        return kExitUsage;
    }
    if (versionText.size() > 0xFFFF || date.size() > 0xFFFF)
        return Usage("version or date text too long");

    QFile in(files[0]);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "qlimage: %s: %s\n", qPrintable(files[0]), qPrintable(in.errorString()));
        return kExitBadImage;
    }
    if (in.size() > qint64(kMaxBlockSize)) {
        std::fprintf(stderr, "qlimage: %s\n", qPrintable(Msg(msg::BlockTooBig)));
        return kExitBadImage;
    }
    const QByteArray payload = in.readAll();
    const QByteArray image = BuildFirmwareImage(versionText, date, extra, startOffset, sdRequirement, payload);

    // The image must load as the loader would load it, date included.
    TStderrLog log;
    TFirmwareVersion check;
    FirmwareList blocks;
    if (!ParseFirmwareImage(reinterpret_cast<const uint8_t*>(image.constData()),
                            static_cast<uint32_t>(image.size()), check, blocks, log)
        || (!date.isEmpty() && check.BuildDate == 0)) {
        std::fprintf(stderr, "qlimage: refusing to write an image the loader would not read back\n");
        return kExitBadImage;
    }

    QFile out(files[1]);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(image) != image.size()) {
        std::fprintf(stderr, "qlimage: %s: %s\n", qPrintable(files[1]), qPrintable(out.errorString()));
        return kExitBadImage;
    }
    std::printf("wrote %s: %lld bytes, version %s, payload %lld bytes\n", qPrintable(files[1]),
                static_cast<long long>(image.size()), qPrintable(VersionText(check)),
                static_cast<long long>(payload.size()));
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    SetCurrentLanguage(kEnglish);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? kExitUsage : kExitOk;
    }
    const QString command = args.takeFirst();
    if (command == "inspect")
        return Inspect(args);
    if (command == "pack")
        return Pack(args);
    return Usage("unknown command");
}
