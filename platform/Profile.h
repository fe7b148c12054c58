#pragma once
// An INI profile file with the semantics of the Windows profile functions: "[Section]"
// lines, "key=value" lines, ";" comment lines. Section and key names match in any letter
// case; the first of two sections or keys with the same name is the one that counts.
// Names and values are read with surrounding white space removed, and a value enclosed
// in a pair of double or single quotes without them. Writing a key replaces its value in
// place, appends a missing key at the end of its section and a missing section at the
// end of the file; every other line, comments and unknown keys included, stays as it is.
//
// Text: a byte-order mark decides (UTF-8, UTF-16LE or UTF-16BE, as Windows writes its
// Unicode profiles); without one the file is UTF-8 when it is valid UTF-8, and otherwise
// an 8-bit ANSI file, read one character per byte as Latin-1 since its code page cannot
// be known here: nothing is lost or crashes, only non-ASCII letters look wrong. A save
// keeps the encoding, its mark and the line ends it found (new files: UTF-8 without a
// mark, the platform's line end); an ANSI file that is given a character beyond Latin-1,
// or whose bytes would read back as UTF-8 (its only non-UTF-8 bytes were replaced), becomes
// UTF-8, so what is read back is always what was written.
//
// Changes stay in memory until Save, which writes a temporary file beside the file and
// renames it over the old one: afterwards the file is either the old or the new version.

#include <QString>
#include <QStringList>

namespace ql {

class TProfile {
public:
    // Reads the file now. A missing file is an empty profile that Save creates.
    explicit TProfile(QString path);

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue = {}) const;
    bool HasKey(const QString& section, const QString& key) const;
    // The section's key names in file order, each name once.
    QStringList KeyNames(const QString& section) const;

    // False, and nothing changes, when a name or the value cannot stand in the file: an
    // empty name, a line break anywhere, "]" in a section name, "=" in a key name, a key
    // name starting with ";" or "[", or white space around a name.
    bool WriteString(const QString& section, const QString& key, const QString& value);

    // False when the file cannot be written, or when it exists but could not be read (a
    // save would otherwise replace what it holds with only the keys written here).
    bool Save();

    enum class TEncoding { Utf8, Utf8WithMark, Utf16Le, Utf16Be, Ansi };
    TEncoding Encoding() const { return encoding_; }

private:
    struct TSpan {
        qsizetype Header = -1;  // line of "[section]", -1 when the section is missing
        qsizetype End = 0;      // one past its last line
    };
    TSpan FindSection(const QString& section) const;
    qsizetype FindKey(const TSpan& span, const QString& key) const;

    QString path_;
    QStringList lines_;
    QString lineEnd_;
    TEncoding encoding_ = TEncoding::Utf8;
    bool unreadable_ = false;
};

}  // namespace ql
