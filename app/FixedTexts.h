#pragma once
// The few texts of the window that are the same in both languages and so stand outside
// the numbered catalogue: window and message-box captions, the open button with its
// hint, the file dialog's filter and the value labels before an image is loaded.

#include "core/MessageCatalogue.h"

#include <QString>

namespace ql {

inline const QString kCaptionRussian = QStringLiteral("Обновление прошивки Quillomar");
inline const QString kCaptionEnglish = QStringLiteral("Quillomar Firmware Loader");
inline QString WindowCaption(int language) { return language == kRussian ? kCaptionRussian : kCaptionEnglish; }

// The start-up message box carries the English caption in both languages.
inline const QString kMessageBoxCaption = kCaptionEnglish;

inline const QString kOpenButtonText = QStringLiteral("...");
inline const QString kOpenButtonHint = QStringLiteral("Открыть файл прошивки");
inline const QString kNotLoadedYet = QStringLiteral("Неизвестна");

// Three entries, the first selected.
inline const QString kFirmwareFileFilter =
    QStringLiteral("Encode Raw binary (*.eraw);;Raw binary (*.raw);;Any files (*)");

}  // namespace ql
