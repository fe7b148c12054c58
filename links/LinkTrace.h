#pragma once
// Hex trace of every request and reply on the links, under the logging category
// "ql.link" (off by default; QT_LOGGING_RULES="ql.link.debug=true" turns it on), so a
// problem in the field can be diagnosed from the output alone.

#include <QLoggingCategory>

#include <cstdint>

namespace ql {

Q_DECLARE_LOGGING_CATEGORY(lcLink)

enum class TTraceDirection { ToDevice, FromDevice };

// One line: direction, device number, link, byte count and the bytes in hex.
void TraceLink(TTraceDirection direction, int device, const char* link, const uint8_t* bytes,
               int count);

}  // namespace ql
