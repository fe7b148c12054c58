#include "platform/Profile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <optional>

namespace ql {
namespace {

const QByteArray kUtf8Mark("\xEF\xBB\xBF");
const QByteArray kUtf16LeMark("\xFF\xFE");
const QByteArray kUtf16BeMark("\xFE\xFF");
constexpr QChar kCommentMark = u';';

#ifdef Q_OS_WIN
const QString kNativeLineEnd = QStringLiteral("\r\n");
#else
const QString kNativeLineEnd = QStringLiteral("\n");
#endif

// Views into a line of lines_: a lookup scans every line of the file, so it copies
// nothing until it has found what it looks for.
struct TKeyLine {
    QStringView Name;
    QStringView Value;
};

// The name of a "[section]" line; a missing "]" ends the name at the end of the line.
std::optional<QStringView> SectionName(QStringView line)
{
    const QStringView text = line.trimmed();
    if (!text.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = text.indexOf(u']');
    return text.mid(1, close < 0 ? -1 : close - 1).trimmed();
}

std::optional<TKeyLine> KeyLine(QStringView line)
{
    const QStringView text = line.trimmed();
    const qsizetype equals = text.indexOf(u'=');
    if (equals <= 0 || text.startsWith(kCommentMark) || text.startsWith(u'['))
        return std::nullopt;
    TKeyLine key{text.left(equals).trimmed(), text.mid(equals + 1).trimmed()};
    if (key.Name.isEmpty())
        return std::nullopt;
    return key;
}

QString WithoutQuotes(QStringView value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'')
        && value.back() == value.front())
        return value.mid(1, value.size() - 2).toString();
    return value.toString();
}

bool SameName(QStringView a, QStringView b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

bool HasLineBreak(const QString& text) { return text.contains(u'\n') || text.contains(u'\r'); }

bool IsUsableName(const QString& name)
{
    return !name.isEmpty() && name == name.trimmed() && !HasLineBreak(name);
}

using TEncoding = TProfile::TEncoding;

QString DecodeWith(QStringConverter::Encoding encoding, const QByteArray& bytes, bool* valid = nullptr)
{
    QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (valid)
        *valid = !decoder.hasError();
    return text;
}

QString Decode(const QByteArray& bytes, TEncoding& encoding)
{
    if (bytes.startsWith(kUtf8Mark)) {
        encoding = TEncoding::Utf8WithMark;
        return DecodeWith(QStringConverter::Utf8, bytes.mid(kUtf8Mark.size()));
    }
    if (bytes.startsWith(kUtf16LeMark)) {
        encoding = TEncoding::Utf16Le;
        return DecodeWith(QStringConverter::Utf16LE, bytes.mid(kUtf16LeMark.size()));
    }
    if (bytes.startsWith(kUtf16BeMark)) {
        encoding = TEncoding::Utf16Be;
        return DecodeWith(QStringConverter::Utf16BE, bytes.mid(kUtf16BeMark.size()));
    }
    bool valid = false;
    QString text = DecodeWith(QStringConverter::Utf8, bytes, &valid);
    if (valid) {
        encoding = TEncoding::Utf8;
        return text;
    }
    encoding = TEncoding::Ansi;
    return QString::fromLatin1(bytes);
}

bool FitsLatin1(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// Bytes beyond ASCII that form valid UTF-8: a file of them is read as UTF-8.
bool ReadsAsUtf8(const QByteArray& bytes)
{
    const bool beyondAscii = std::any_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) != 0; });
    bool valid = false;
    if (beyondAscii)
        DecodeWith(QStringConverter::Utf8, bytes, &valid);
    return valid;
}

QByteArray Encode(const QString& text, TEncoding& encoding)
{
    switch (encoding) {
    case TEncoding::Utf8WithMark:
        return kUtf8Mark + text.toUtf8();
    case TEncoding::Utf16Le:
        return kUtf16LeMark + QStringEncoder(QStringConverter::Utf16LE)(text);
    case TEncoding::Utf16Be:
        return kUtf16BeMark + QStringEncoder(QStringConverter::Utf16BE)(text);
    case TEncoding::Ansi:
        if (FitsLatin1(text)) {
            QByteArray bytes = text.toLatin1();
            // Once the bytes that were not UTF-8 are gone, the rest may happen to be: read
            // back, it would then be decoded as UTF-8 and its letters would change.
            if (!ReadsAsUtf8(bytes))
                return bytes;
        }
        encoding = TEncoding::Utf8;
        break;
    case TEncoding::Utf8:
        break;
    }
    return text.toUtf8();
}

}  // namespace

TProfile::TProfile(QString path) : path_(std::move(path)), lineEnd_(kNativeLineEnd)
{
    QFile file(path_);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        unreadable_ = true;
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        unreadable_ = true;
        return;
    }
    const QString text = Decode(bytes, encoding_);
    const qsizetype firstBreak = text.indexOf(u'\n');
    if (firstBreak >= 0)
        lineEnd_ = firstBreak > 0 && text[firstBreak - 1] == u'\r' ? QStringLiteral("\r\n")
                                                                    : QStringLiteral("\n");
    lines_ = text.split(u'\n');
    // The break after the last line does not start another line.
    if (lines_.back().isEmpty())
        lines_.removeLast();
    for (QString& line : lines_) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
}

TProfile::TSpan TProfile::FindSection(const QString& section) const
{
    TSpan span;
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        const std::optional<QStringView> name = SectionName(lines_[i]);
        if (!name)
            continue;
        if (span.Header >= 0) {
            span.End = i;
            return span;
        }
        if (SameName(*name, section))
            span.Header = i;
    }
    span.End = lines_.size();
    return span;
}

qsizetype TProfile::FindKey(const TSpan& span, const QString& key) const
{
    if (span.Header < 0)
        return -1;
    for (qsizetype i = span.Header + 1; i < span.End; ++i) {
        const std::optional<TKeyLine> line = KeyLine(lines_[i]);
        if (line && SameName(line->Name, key))
            return i;
    }
    return -1;
}

QString TProfile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const
{
    const qsizetype at = FindKey(FindSection(section), key);
    if (at < 0)
        return defaultValue;
    return WithoutQuotes(KeyLine(lines_[at])->Value);
}

bool TProfile::HasKey(const QString& section, const QString& key) const
{
    return FindKey(FindSection(section), key) >= 0;
}

QStringList TProfile::KeyNames(const QString& section) const
{
    QStringList names;
    const TSpan span = FindSection(section);
    if (span.Header < 0)
        return names;
    for (qsizetype i = span.Header + 1; i < span.End; ++i) {
        const std::optional<TKeyLine> line = KeyLine(lines_[i]);
        if (line && !names.contains(line->Name, Qt::CaseInsensitive))
            names << line->Name.toString();
    }
    return names;
}

bool TProfile::WriteString(const QString& section, const QString& key, const QString& value)
{
    if (!IsUsableName(section) || section.contains(u']'))
        return false;
    if (!IsUsableName(key) || key.contains(u'=') || key.startsWith(kCommentMark)
        || key.startsWith(u'['))
        return false;
    if (HasLineBreak(value))
        return false;

    const TSpan span = FindSection(section);
    const qsizetype at = FindKey(span, key);
    if (at >= 0) {
        // The file's spelling of the name stays.
        lines_[at] = KeyLine(lines_[at])->Name.toString() + u'=' + value;
        return true;
    }
    const QString line = key + u'=' + value;
    if (span.Header < 0) {
        lines_ << u'[' + section + u']' << line;
        return true;
    }
    // After the section's last non-blank line, so blank lines before the next section stay
    // where they are.
    qsizetype insertAt = span.End;
    while (insertAt > span.Header + 1 && lines_[insertAt - 1].trimmed().isEmpty())
        --insertAt;
    lines_.insert(insertAt, line);
    return true;
}

bool TProfile::Save()
{
    if (unreadable_)
        return false;
    QString text;
    for (const QString& line : lines_)
        text += line + lineEnd_;
    TEncoding encoding = encoding_;
    const QByteArray bytes = Encode(text, encoding);
    // QSaveFile writes beside the file, flushes to disk and renames over the old one.
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return false;
    encoding_ = encoding;
    return true;
}

}  // namespace ql
