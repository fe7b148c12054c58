#pragma once
// The two places an image comes from: a file the user chose, and the image embedded in
// the program (the Qt resource ":/FRMV", generated at build time).

#include "firmware/FirmwareBlock.h"
#include "firmware/FirmwareVersion.h"

#include <QByteArray>
#include <QString>

namespace ql {

class TLogSink;

inline const QString kEmbeddedImagePath = QStringLiteral(":/FRMV");

// Reads and parses the image file at path. A missing file logs message 31 with the path
// as given; a file that cannot be read completely fails without a message of its own.
bool LoadFirmwareFromFile(const QString& path, FirmwareList& list, TFirmwareVersion& version,
                          TLogSink& log);

// Parses the embedded image; a missing or empty resource fails without a message.
bool LoadFirmwareFromResource(FirmwareList& list, TFirmwareVersion& version, TLogSink& log);

// The embedded image's bytes; empty when the program was built without it.
QByteArray EmbeddedImage();

}  // namespace ql
