#include "FileBytes.h"
#include "platform/Profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>

#include <unistd.h>

using namespace ql;

namespace {

// A key of a section and a value read or written there.
struct TKeyCase {
    const char* Section;
    const char* Key;
    const char* Value;
};

class Profile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString Path() const { return dir.filePath("QLFWLoader.ini"); }
    void Put(const QByteArray& bytes) const { ASSERT_TRUE(test::WriteFileBytes(Path(), bytes)); }
    QByteArray Get() const { return test::ReadFileBytes(Path()); }

    QTemporaryDir dir;
};

const QByteArray kHandWritten =
    "orphan=before any section\r\n"
    "; Settings of the loader\r\n"
    "[common]\r\n"
    "  Language = English  \r\n"
    ";MainForm=1,2,3,4\r\n"
    "MainForm=10,20,700,500\r\n"
    "mainform=second key of the same name\r\n"
    "just a line\r\n"
    "Quoted=\"C:\\fw\\a.eraw\"\r\n"
    "Single='x'\r\n"
    "Lonely=\"\r\n"
    "\r\n"
    "[Files]\r\n"
    "1=/b.eraw\r\n"
    "0=/a.eraw\r\n"
    "1=/shadowed.eraw\r\n"
    "Empty=\r\n"
    "\r\n"
    "[COMMON]\r\n"
    "LastFile=in a second section of the same name\r\n";

TEST_F(Profile, ReadsNamesInAnyCaseFirstOccurrenceWins)
{
    Put(kHandWritten);
    const TProfile profile(Path());
    const TKeyCase cases[] = {
        {"COMMON", "language", "English"},
        {"Common", "MAINFORM", "10,20,700,500"},
        {"COMMON", "Quoted", "C:\\fw\\a.eraw"},
        {"COMMON", "Single", "x"},
        {"COMMON", "Lonely", "\""},
        {"COMMON", "LastFile", "<default>"},
        {"COMMON", "orphan", "<default>"},
        {"COMMON", "just a line", "<default>"},
        {"FILES", "1", "/b.eraw"},
        {"FILES", "Empty", ""},
        {"NOSUCH", "Language", "<default>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(profile.ReadString(c.Section, c.Key, "<default>"), c.Value) << c.Section << "/" << c.Key;
    EXPECT_EQ(profile.KeyNames("files"), QStringList({"1", "0", "Empty"}));
    EXPECT_EQ(profile.KeyNames("nosuch"), QStringList());
    EXPECT_TRUE(profile.HasKey("COMMON", "LANGUAGE"));
    EXPECT_FALSE(profile.HasKey("COMMON", "LastFile"));
}

TEST_F(Profile, WritesInPlaceAndKeepsEverythingElse)
{
    Put(kHandWritten);
    TProfile profile(Path());
    EXPECT_TRUE(profile.WriteString("COMMON", "MAINFORM", "1,2,3,4"));
    EXPECT_TRUE(profile.WriteString("common", "LastFile", "/new.eraw"));
    EXPECT_TRUE(profile.WriteString("FILES", "2", "/c.eraw"));
    EXPECT_TRUE(profile.WriteString("Extra", "Key", "value with = sign"));
    ASSERT_TRUE(profile.Save());
    EXPECT_EQ(Get(),
              "orphan=before any section\r\n"
              "; Settings of the loader\r\n"
              "[common]\r\n"
              "  Language = English  \r\n"
              ";MainForm=1,2,3,4\r\n"
              "MainForm=1,2,3,4\r\n"
              "mainform=second key of the same name\r\n"
              "just a line\r\n"
              "Quoted=\"C:\\fw\\a.eraw\"\r\n"
              "Single='x'\r\n"
              "Lonely=\"\r\n"
              "LastFile=/new.eraw\r\n"
              "\r\n"
              "[Files]\r\n"
              "1=/b.eraw\r\n"
              "0=/a.eraw\r\n"
              "1=/shadowed.eraw\r\n"
              "Empty=\r\n"
              "2=/c.eraw\r\n"
              "\r\n"
              "[COMMON]\r\n"
              "LastFile=in a second section of the same name\r\n"
              "[Extra]\r\n"
              "Key=value with = sign\r\n");
    EXPECT_EQ(TProfile(Path()).ReadString("extra", "key"), "value with = sign");
}

TEST_F(Profile, AMissingFileIsCreatedBySave)
{
    TProfile profile(Path());
    EXPECT_EQ(profile.ReadString("COMMON", "Language", "Russian"), "Russian");
    EXPECT_TRUE(profile.WriteString("COMMON", "Language", ""));
    ASSERT_TRUE(profile.Save());
    EXPECT_EQ(Get(), "[COMMON]\nLanguage=\n");
    EXPECT_TRUE(TProfile(Path()).HasKey("COMMON", "Language"));
}

TEST_F(Profile, SaveReplacesTheFileInsteadOfRewritingIt)
{
    Put("[COMMON]\nLanguage=English\n");
    // A second name for the old file keeps the old content only if the save renamed a
    // new file over the path rather than truncating and rewriting the old one.
    ASSERT_EQ(::link(QFile::encodeName(Path()).constData(),
                     QFile::encodeName(dir.filePath("old.ini")).constData()),
              0);
    TProfile profile(Path());
    profile.WriteString("COMMON", "Language", "Russian");
    ASSERT_TRUE(profile.Save());
    EXPECT_EQ(Get(), "[COMMON]\nLanguage=Russian\n");
    QFile old(dir.filePath("old.ini"));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "[COMMON]\nLanguage=English\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

TEST_F(Profile, UnwritableNamesAndValuesChangeNothing)
{
    Put("[COMMON]\nLanguage=English\n");
    TProfile profile(Path());
    const TKeyCase cases[] = {
        {"", "Key", "v"},           {"COMMON", "", "v"},          {"COM]MON", "Key", "v"},
        {"COMMON", "Ke=y", "v"},    {"COMMON", ";Key", "v"},      {"COMMON", "[Key", "v"},
        {"COMMON", " Key", "v"},    {"COMMON", "Key ", "v"},      {" COMMON", "Key", "v"},
        {"COMMON", "Language", "a\nLastFile=b"},                  {"COMMON", "Language", "a\r"},
        {"COM\nMON", "Key", "v"},   {"COMMON", "K\ney", "v"},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(profile.WriteString(c.Section, c.Key, c.Value)) << c.Section << "/" << c.Key;
    ASSERT_TRUE(profile.Save());
    EXPECT_EQ(Get(), "[COMMON]\nLanguage=English\n");
}

TEST_F(Profile, EncodingsAreReadAndKept)
{
    const QString cyrillic = QString::fromUtf8("/прошивки/a.eraw");
    const struct {
        const char* Name;
        QByteArray Mark;
        QStringConverter::Encoding Encoding;
        TProfile::TEncoding Expected;
    } cases[] = {
        {"UTF-8", "", QStringConverter::Utf8, TProfile::TEncoding::Utf8},
        {"UTF-8 with mark", "\xEF\xBB\xBF", QStringConverter::Utf8, TProfile::TEncoding::Utf8WithMark},
        {"UTF-16LE", "\xFF\xFE", QStringConverter::Utf16LE, TProfile::TEncoding::Utf16Le},
        {"UTF-16BE", "\xFE\xFF", QStringConverter::Utf16BE, TProfile::TEncoding::Utf16Be},
    };
    for (const auto& c : cases) {
        auto encode = [&c](const QString& text) { return c.Mark + QStringEncoder(c.Encoding)(text); };
        Put(encode("[FILES]\r\n0=" + cyrillic + "\r\n"));
        TProfile profile(Path());
        EXPECT_EQ(profile.Encoding(), c.Expected) << c.Name;
        EXPECT_EQ(profile.ReadString("FILES", "0"), cyrillic) << c.Name;
        profile.WriteString("FILES", "1", cyrillic);
        ASSERT_TRUE(profile.Save());
        EXPECT_EQ(Get(), encode("[FILES]\r\n0=" + cyrillic + "\r\n1=" + cyrillic + "\r\n")) << c.Name;
    }
}

TEST_F(Profile, AnsiFilesAreReadAsLatin1AndKeptByteForByte)
{
    // "C:\Прошивки\a.eraw" in the Windows Cyrillic code page: not UTF-8.
    const QByteArray ansiLine = "0=C:\\\xCF\xF0\xEE\xF8\xE8\xE2\xEA\xE8\\a.eraw\r\n";
    Put("[FILES]\r\n" + ansiLine);
    TProfile profile(Path());
    EXPECT_EQ(profile.Encoding(), TProfile::TEncoding::Ansi);
    EXPECT_EQ(profile.ReadString("FILES", "0"), QString::fromLatin1(ansiLine.mid(2).chopped(2)));
    profile.WriteString("COMMON", "LastFile", QString::fromUtf8("/tmp/caf\u00E9.eraw"));
    ASSERT_TRUE(profile.Save());
    EXPECT_EQ(Get(), "[FILES]\r\n" + ansiLine + "[COMMON]\r\nLastFile=/tmp/caf\xE9.eraw\r\n");

    // A character beyond Latin-1 turns the file into UTF-8.
    profile.WriteString("COMMON", "LastFile", QString::fromUtf8("/прошивки/a.eraw"));
    ASSERT_TRUE(profile.Save());
    EXPECT_EQ(profile.Encoding(), TProfile::TEncoding::Utf8);
    EXPECT_EQ(TProfile(Path()).ReadString("COMMON", "LastFile"), QString::fromUtf8("/прошивки/a.eraw"));
}

// Found by fuzz_profile: a key name whose Latin-1 bytes are valid UTF-8 (EF BB BF) in a file
// that is ANSI only because of another value. Once that value is replaced, the saved bytes
// would read back as UTF-8 and the key would change its name.
TEST_F(Profile, AnAnsiFileThatWouldReadBackAsUtf8IsSavedAsUtf8)
{
    Put("[COMMON]\r\nMainForm=1\xBC\xBC\r\n[FILES]\r\n0\xEF\xBB\xBF=/tmp/a.eraw\r\n");
    TProfile profile(Path());
    ASSERT_EQ(profile.Encoding(), TProfile::TEncoding::Ansi);
    const QString key = QString::fromLatin1("0\xEF\xBB\xBF");
    ASSERT_EQ(profile.KeyNames("FILES"), QStringList{key});
    ASSERT_TRUE(profile.WriteString("COMMON", "MainForm", "1,2,3,4"));
    ASSERT_TRUE(profile.Save());
    EXPECT_EQ(profile.Encoding(), TProfile::TEncoding::Utf8);
    TProfile after(Path());
    EXPECT_EQ(after.KeyNames("FILES"), QStringList{key});
    EXPECT_EQ(after.ReadString("FILES", key), "/tmp/a.eraw");
    EXPECT_EQ(after.ReadString("COMMON", "MainForm"), "1,2,3,4");
}

TEST_F(Profile, GarbageNeverCrashesAndStaysWritable)
{
    std::mt19937 random(20261210);
    for (int round = 0; round < 50; ++round) {
        QByteArray bytes(int(random() % 600), '\0');
        for (char& b : bytes)
            b = char(random() % 256);
        if (round % 2)
            bytes.prepend(round % 4 == 1 ? "\xFF\xFE" : "\xFE\xFF\x00");
        Put(bytes);
        TProfile profile(Path());
        (void)profile.ReadString("COMMON", "MainForm");
        (void)profile.KeyNames("FILES");
        ASSERT_TRUE(profile.WriteString("COMMON", "LastFile", "/fw.eraw"));
        ASSERT_TRUE(profile.Save());
        EXPECT_EQ(TProfile(Path()).ReadString("COMMON", "LastFile"), "/fw.eraw") << round;
    }
}

TEST_F(Profile, AFileThatCannotBeReadIsNeverOverwritten)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("QLFWLoader.ini"));
    TProfile profile(Path());
    EXPECT_EQ(profile.ReadString("COMMON", "Language", "Russian"), "Russian");
    EXPECT_TRUE(profile.WriteString("COMMON", "Language", ""));
    EXPECT_FALSE(profile.Save());
    EXPECT_TRUE(QFileInfo(Path()).isDir());

    TProfile nowhere(dir.filePath("missing/QLFWLoader.ini"));
    nowhere.WriteString("COMMON", "Language", "");
    EXPECT_FALSE(nowhere.Save());
}

}  // namespace
