#include "app/CommandLine.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ql;

namespace {

// The options that differ from their defaults, in field order, so a table row can say
// in one short text everything a parse must have set.
QString Describe(const LoaderOptions& o)
{
    QStringList set;
    const std::pair<const char*, bool> flags[] = {
        {"externFirmware", o.externFirmware}, {"fileOnCommandLine", o.fileOnCommandLine},
        {"dontCheckCpbl", o.dontCheckCpbl},   {"autoWrite", o.autoWrite},
        {"disableFtdi", o.disableFtdi},       {"startApp", o.startApp},
        {"autoClose", o.autoClose},           {"useStartLoader", o.useStartLoader},
        {"console", o.console},               {"json", o.json},
    };
    for (const auto& [name, value] : flags) {
        if (value)
            set << name;
    }
    if (!o.serial.isEmpty())
        set << "serial=" + o.serial;
    if (!o.fwFile.isEmpty())
        set << "fwFile=" + o.fwFile;
    if (!o.comportName.isEmpty())
        set << "comport=" + o.comportName;
    return set.join(' ');
}

struct TCase {
    QStringList Arguments;  // "$DIR" stands for a directory holding the files below
    QString Expected;
};

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        for (const char* name : {"Fw.ERAW", "other.eraw", "image.raw"}) {
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        ASSERT_TRUE(QDir(dir.path()).mkdir("folder.eraw"));
    }

    void Check(const std::vector<TCase>& cases)
    {
        for (const TCase& c : cases) {
            QStringList arguments = c.Arguments;
            arguments.replaceInStrings("$DIR", dir.path());
            QString expected = c.Expected;
            expected.replace("$DIR", dir.path());
            EXPECT_EQ(Describe(ParseCommandLine(arguments)), expected) << c.Arguments.join(' ').toStdString();
        }
    }

    QTemporaryDir dir;
};

TEST_F(CommandLine, Keywords)
{
    Check({
        {{}, ""},
        {{"autowrite"}, "autoWrite"},
        {{"/autowrite"}, "autoWrite"},
        {{"-AutoWrite"}, "autoWrite"},
        {{"/AUTOWRITE"}, "autoWrite"},
        {{"--autowrite"}, ""},
        {{"/-autowrite"}, ""},
        {{"autowrite2"}, ""},
        {{"auto write"}, ""},
        {{"externfirmware"}, "externFirmware"},
        {{"DontCheckCpbl"}, "dontCheckCpbl"},
        {{"-disableftdi"}, "disableFtdi"},
        {{"/startapp"}, "startApp"},
        {{"autoclose"}, "autoClose"},
        {{"usestartloader"}, "useStartLoader"},
        {{"-Console"}, "console"},
        {{"/JSON", "console"}, "console json"},
        {{"startapp", "unknown", "autoclose"}, "startApp autoClose"},
    });
}

TEST_F(CommandLine, SerialIsSevenDigitsDirectlyAfterTheWord)
{
    Check({
        {{"serial0012345"}, "serial=0012345"},
        {{"/SERIAL1234567"}, "serial=1234567"},
        {{"serial123456"}, ""},
        {{"serial12345678"}, ""},
        {{"serial12a4567"}, ""},
        {{"serial=1234567"}, ""},
        {{"serial", "1234567"}, ""},
        // Digits of other scripts are not decimal digits here.
        {{QString::fromUtf16(u"serial\u0661\u0662\u0663\u0664\u0665\u0666\u0667")}, ""},
        {{"serial1234567", "serial123"}, "serial=1234567"},
        {{"serial1111111", "serial2222222"}, "serial=2222222"},
    });
}

TEST_F(CommandLine, FirmwareFileIsTestedAndKeptAsTyped)
{
    Check({
        {{"$DIR/Fw.ERAW"}, "externFirmware fileOnCommandLine fwFile=$DIR/Fw.ERAW"},
        // The name differs in letter case from the file that exists.
        {{"$DIR/fw.eraw"}, ""},
        {{"$DIR/image.raw"}, ""},
        {{"$DIR/missing.eraw"}, ""},
        {{"$DIR/folder.eraw"}, ""},
        {{"$DIR/Fw.ERAW", "$DIR/other.eraw"}, "externFirmware fileOnCommandLine fwFile=$DIR/other.eraw"},
        {{"$DIR/other.eraw", "$DIR/missing.eraw"}, "externFirmware fileOnCommandLine fwFile=$DIR/other.eraw"},
        {{"externfirmware", "$DIR/image.raw"}, "externFirmware"},
    });
}

TEST_F(CommandLine, RelativeFirmwarePathIsNotMadeAbsolute)
{
    const QString relative = QDir::current().relativeFilePath(dir.filePath("other.eraw"));
    const LoaderOptions options = ParseCommandLine({relative});
    EXPECT_EQ(options.fwFile, relative);
    EXPECT_TRUE(options.fileOnCommandLine);
}

TEST_F(CommandLine, ComportKeepsTheNameAsTyped)
{
    Check({
        {{"comport=ttyUSB0"}, "comport=ttyUSB0"},
        {{"/COMPORT=/dev/ttyS0"}, "comport=/dev/ttyS0"},
        {{"-ComPort=COM3"}, "comport=COM3"},
        {{"comport="}, ""},
        {{"--comport=ttyS1"}, ""},
        {{"comport=ttyS1", "comport=ttyS2"}, "comport=ttyS2"},
    });
}

TEST(CommandLineInfo, HelpAndVersionByTheKeywordRuleAndInTheUsualForms)
{
    const std::pair<QStringList, TInfoRequest> cases[] = {
        {{}, TInfoRequest::None},
        {{"autowrite", "console"}, TInfoRequest::None},
        {{"help"}, TInfoRequest::Help},
        {{"/HELP"}, TInfoRequest::Help},
        {{"-Help"}, TInfoRequest::Help},
        {{"--help"}, TInfoRequest::Help},
        {{"--HELP"}, TInfoRequest::Help},
        {{"-h"}, TInfoRequest::Help},
        {{"version"}, TInfoRequest::Version},
        {{"/version"}, TInfoRequest::Version},
        {{"--Version"}, TInfoRequest::Version},
        // Neither a keyword nor a usual form.
        {{"h"}, TInfoRequest::None},
        {{"---help"}, TInfoRequest::None},
        {{"/-version"}, TInfoRequest::None},
        {{"helpme"}, TInfoRequest::None},
        {{"-v"}, TInfoRequest::None},
        // The first one wins; Qt's own options and other keywords do not stand in the way.
        {{"-platform", "offscreen", "autowrite", "version", "help"}, TInfoRequest::Version},
        {{"--help", "--version"}, TInfoRequest::Help},
    };
    for (const auto& [arguments, expected] : cases)
        EXPECT_EQ(FindInfoRequest(arguments), expected) << arguments.join(' ').toStdString();
}

TEST(CommandLineApplication, QtOptionsAreTakenBeforeTheParserSeesTheRest)
{
    char program[] = "qlfwloader";
    char platform[] = "-platform";
    char offscreen[] = "offscreen";
    char autowrite[] = "AUTOWRITE";
    char comport[] = "comport=ttyS1";
    char* argv[] = {program, platform, offscreen, autowrite, comport, nullptr};
    int argc = 5;
    QApplication application(argc, argv);
    EXPECT_EQ(QGuiApplication::platformName(), "offscreen");
    EXPECT_EQ(ProgramArguments(), QStringList({"AUTOWRITE", "comport=ttyS1"}));
    EXPECT_EQ(Describe(ParseCommandLine(ProgramArguments())), "autoWrite comport=ttyS1");
}

}  // namespace
