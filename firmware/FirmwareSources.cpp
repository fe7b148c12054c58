#include "firmware/FirmwareSources.h"

#include "core/MessageCatalogue.h"
#include "core/MessageFormat.h"
#include "firmware/ImageFormat.h"
#include "core/LogSink.h"

#include <QFile>
#include <QFileInfo>

namespace ql {
namespace {

bool ParseBuffer(const QByteArray& bytes, FirmwareList& list, TFirmwareVersion& version,
                 TLogSink& log)
{
    return ParseFirmwareImage(reinterpret_cast<const uint8_t*>(bytes.constData()),
                              static_cast<uint32_t>(bytes.size()), version, list, log);
}

}  // namespace

bool LoadFirmwareFromFile(const QString& path, FirmwareList& list, TFirmwareVersion& version,
                          TLogSink& log)
{
    // A directory is not an image file, whatever its name.
    if (!QFileInfo(path).isFile()) {
        log.LogDeviceText(lkError, 0, FormatText(Msg(msg::FirmwareFileNotFound), path));
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    // No image is larger than its 30-bit size field can say; such a file could only fail
    // the size test, so it is not read into memory first.
    if (size > qint64(kImageSizeMask)) {
        LogCatalogue(log, lkError, msg::WrongSize);
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() < size)
        return false;
    return ParseBuffer(bytes, list, version, log);
}

QByteArray EmbeddedImage()
{
    QFile resource(kEmbeddedImagePath);
    if (!resource.open(QIODevice::ReadOnly))
        return {};
    return resource.readAll();
}

bool LoadFirmwareFromResource(FirmwareList& list, TFirmwareVersion& version, TLogSink& log)
{
    const QByteArray bytes = EmbeddedImage();
    if (bytes.isEmpty())
        return false;
    return ParseBuffer(bytes, list, version, log);
}

}  // namespace ql
