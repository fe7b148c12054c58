#pragma once
// Which catalogue message a logged line is, whatever its arguments: each message's text
// becomes a pattern in which its conversions match any value.

#include "TestLog.h"
#include "core/MessageCatalogue.h"

#include <QRegularExpression>
#include <QString>

#include <vector>

namespace ql::test {

inline QRegularExpression MessagePattern(int number)
{
    static const QRegularExpression conversion(QStringLiteral("%[ 0-9]*[dXs]"));
    const QString text = Msg(number);
    QString pattern;
    qsizetype at = 0;
    for (auto it = conversion.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        pattern += QRegularExpression::escape(text.mid(at, m.capturedStart() - at));
        pattern += m.captured().endsWith('s') ? QStringLiteral(".*") : QStringLiteral(" *-?[0-9A-F]+");
        at = m.capturedEnd();
    }
    pattern += QRegularExpression::escape(text.mid(at));
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                              QRegularExpression::DotMatchesEverythingOption);
}

// The number of the message the text was made from; -1 when none matches.
inline int MessageNumber(const QString& text)
{
    static const std::vector<QRegularExpression> patterns = [] {
        std::vector<QRegularExpression> all;
        for (int n = 0; n < kMessageCount; ++n)
            all.push_back(MessagePattern(n));
        return all;
    }();
    // The most specific (longest) text wins when several match.
    int best = -1;
    for (int n = 0; n < kMessageCount; ++n)
        if (patterns[n].match(text).hasMatch()
            && (best < 0 || Msg(n).size() > Msg(best).size()))
            best = n;
    return best;
}

// The message numbers of the lines a log collected, in order.
inline std::vector<int> MessageNumbers(const TCollectingLog& log)
{
    std::vector<int> numbers;
    for (const auto& line : log.Lines)
        numbers.push_back(MessageNumber(line.Text));
    return numbers;
}

}  // namespace ql::test
