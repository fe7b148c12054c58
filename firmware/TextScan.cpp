#include "firmware/TextScan.h"

#include <cctype>
#include <cstdint>

namespace ql {
namespace {
bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
}  // namespace

bool ScanInt(const QByteArray& text, qsizetype& pos, int& value)
{
    qsizetype p = pos;
    while (p < text.size() && IsSpace(text[p]))
        ++p;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-'))
        negative = text[p++] == '-';
    const qsizetype digits = p;
    uint32_t v = 0;
    while (p < text.size() && text[p] >= '0' && text[p] <= '9')
        v = v * 10 + uint32_t(text[p++] - '0');
    if (p == digits)
        return false;
    value = static_cast<int>(negative ? 0u - v : v);
    pos = p;
    return true;
}

bool ScanLiteral(const QByteArray& text, qsizetype& pos, char literal)
{
    if (literal == ' ') {
        while (pos < text.size() && IsSpace(text[pos]))
            ++pos;
        return true;
    }
    if (pos >= text.size() || text[pos] != literal)
        return false;
    ++pos;
    return true;
}

QByteArray UpToZero(const QByteArray& text)
{
    const qsizetype zero = text.indexOf('\0');
    return zero < 0 ? text : text.left(zero);
}

}  // namespace ql
