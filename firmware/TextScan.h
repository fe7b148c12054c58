#pragma once
// Number reading with the C library's scanf rules, for version and date texts that
// devices and image producers write with printf.

#include <QByteArray>

namespace ql {

// One "%d": leading white space, an optional sign, at least one digit. The value wraps
// like the 32-bit integer it is stored in. On success pos moves past the number.
bool ScanInt(const QByteArray& text, qsizetype& pos, int& value);

// A literal character of the format; a space in the format skips any white space.
bool ScanLiteral(const QByteArray& text, qsizetype& pos, char literal);

// The text up to its first zero byte.
QByteArray UpToZero(const QByteArray& text);

}  // namespace ql
