#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <array>

namespace ql {
namespace {

const QString kFirmwareFileSuffix = QStringLiteral(".eraw");
const QString kSerialWord = QStringLiteral("serial");
constexpr qsizetype kSerialDigits = 7;
const QString kComportWord = QStringLiteral("comport=");

struct TKeyword {
    const char* Word;
    bool LoaderOptions::*Field;
};

const std::array<TKeyword, 9> kKeywords = {{
    {"externfirmware", &LoaderOptions::externFirmware},
    {"dontcheckcpbl", &LoaderOptions::dontCheckCpbl},
    {"autowrite", &LoaderOptions::autoWrite},
    {"disableftdi", &LoaderOptions::disableFtdi},
    {"startapp", &LoaderOptions::startApp},
    {"autoclose", &LoaderOptions::autoClose},
    {"usestartloader", &LoaderOptions::useStartLoader},
    {"console", &LoaderOptions::console},
    {"json", &LoaderOptions::json},
}};

bool IsFirmwareFile(const QString& typed)
{
    return typed.endsWith(kFirmwareFileSuffix, Qt::CaseInsensitive) && QFileInfo(typed).isFile();
}

bool AllDecimalDigits(const QString& text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// One leading "/" or "-" marks an option; only one is removed.
QString WithoutOptionMark(const QString& argument)
{
    if (argument.startsWith(u'/') || argument.startsWith(u'-'))
        return argument.mid(1);
    return argument;
}

struct TInfoWord {
    const char* Word;
    TInfoRequest Request;
};

// Matched after one option mark is removed, so "help", "-help", "/HELP" alike.
const std::array<TInfoWord, 2> kInfoKeywords = {{
    {"help", TInfoRequest::Help},
    {"version", TInfoRequest::Version},
}};

// The usual forms, matched as typed: two dashes are no keyword by the rule above.
const std::array<TInfoWord, 3> kInfoUsualForms = {{
    {"--help", TInfoRequest::Help},
    {"-h", TInfoRequest::Help},
    {"--version", TInfoRequest::Version},
}};

}  // namespace

TInfoRequest FindInfoRequest(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        const QString lower = argument.toLower();
        const QString keyword = WithoutOptionMark(argument).toLower();
        for (const TInfoWord& form : kInfoUsualForms) {
            if (lower == QLatin1String(form.Word))
                return form.Request;
        }
        for (const TInfoWord& word : kInfoKeywords) {
            if (keyword == QLatin1String(word.Word))
                return word.Request;
        }
    }
    return TInfoRequest::None;
}

LoaderOptions ParseCommandLine(const QStringList& arguments)
{
    LoaderOptions options;
    for (const QString& argument : arguments) {
        if (IsFirmwareFile(argument)) {
            options.fileOnCommandLine = true;
            options.fwFile = argument;
        }
        const QString word = WithoutOptionMark(argument);
        const QString lower = word.toLower();
        for (const TKeyword& keyword : kKeywords) {
            if (lower == QLatin1String(keyword.Word))
                options.*keyword.Field = true;
        }
        if (lower.startsWith(kSerialWord)) {
            const QString digits = lower.mid(kSerialWord.size());
            if (digits.size() == kSerialDigits && AllDecimalDigits(digits))
                options.serial = digits;
        }
        // The port name keeps the letter case the user typed.
        if (word.startsWith(kComportWord, Qt::CaseInsensitive) && word.size() > kComportWord.size())
            options.comportName = word.mid(kComportWord.size());
    }
    if (options.fileOnCommandLine)
        options.externFirmware = true;
    return options;
}

QStringList ProgramArguments()
{
    // QGuiApplication removes the options it understands from argc/argv while it is being
    // constructed, and arguments() is built from what remains.
    return QCoreApplication::arguments().mid(1);
}

}  // namespace ql
