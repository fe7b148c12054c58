#pragma once
// Byte vectors written the way protocol documents write them: "FE FF 0A".

#include <QByteArray>

#include <cstdint>

namespace ql::test {

inline QByteArray Hex(const char* spaced)
{
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

inline const uint8_t* U8(const QByteArray& bytes)
{
    return reinterpret_cast<const uint8_t*>(bytes.constData());
}

inline QByteArray Spaced(const QByteArray& bytes)
{
    return bytes.toHex(' ').toUpper();
}

}  // namespace ql::test
