#pragma once
// printf-style expansion of catalogue texts: "%d", "% 6d", "%7d", "%08X" and "%s" with
// text arguments. The expanded text is never cut.

#include <QByteArray>
#include <QString>

#include <type_traits>
#include <utility>

namespace ql {

namespace detail {
inline QByteArray FormatArg(const QString& s) { return s.toUtf8(); }
inline QByteArray FormatArg(const QByteArray& s) { return s; }
inline QByteArray FormatArg(const char* s) { return QByteArray(s); }
template <typename T>
    requires std::is_integral_v<T> || std::is_enum_v<T>
T FormatArg(T v) { return v; }

inline const char* Pass(const QByteArray& s) { return s.constData(); }
template <typename T>
    requires std::is_integral_v<T> || std::is_enum_v<T>
auto Pass(T v)
{
    // Integers travel as int or unsigned, the widths the conversions expect.
    if constexpr (std::is_signed_v<T>) return static_cast<int>(v);
    else return static_cast<unsigned>(v);
}

template <typename... Held>
QString Expand(const QString& format, const Held&... held)
{
    const QByteArray f = format.toUtf8();
    return QString::asprintf(f.constData(), Pass(held)...);
}
}  // namespace detail

template <typename... Args>
QString FormatText(const QString& format, const Args&... args)
{
    return detail::Expand(format, detail::FormatArg(args)...);
}

}  // namespace ql
