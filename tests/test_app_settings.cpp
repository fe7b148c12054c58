#include "FileBytes.h"
#include "app/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ql;

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString Path() const { return SettingsFilePath(dir.path()); }
    void Put(const QByteArray& bytes) const { ASSERT_TRUE(test::WriteFileBytes(Path(), bytes)); }
    QByteArray Get() const { return test::ReadFileBytes(Path()); }

    QTemporaryDir dir;
};

TEST(SettingsLanguage, NameOrSystemLocale)
{
    const struct {
        const char* Value;
        const char* Locale;
        int Expected;
    } cases[] = {
        {"English", "ru_RU", kEnglish}, {"ENGLISH", "ru_RU", kEnglish},
        {"RUSSIAN", "en_US", kRussian}, {"russian", "C", kRussian},
        {"", "ru_RU", kRussian},        {"", "ru_MD", kEnglish},
        {"", "ru_UA", kEnglish},        {"", "en_US", kEnglish},
        {"", "C", kEnglish},            {"German", "ru_RU", kRussian},
        {"German", "de_DE", kEnglish},  {"Englis", "de_DE", kEnglish},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ResolveLanguage(c.Value, c.Locale), c.Expected) << c.Value << " " << c.Locale;
}

TEST_F(Settings, LanguageFromTheFile)
{
    const struct {
        QByteArray File;
        const char* Locale;
        int Expected;
    } cases[] = {
        // A missing key means "Russian", whatever the system says.
        {"", "en_US", kRussian},
        {"[COMMON]\nLanguage=\n", "en_US", kEnglish},
        {"[COMMON]\nLanguage=\n", "ru_RU", kRussian},
        {"[common]\nLANGUAGE = English\n", "ru_RU", kEnglish},
    };
    for (const auto& c : cases) {
        Put(c.File);
        EXPECT_EQ(ReadSettingsFile(Path(), c.Locale).Language, c.Expected) << c.File.toStdString();
    }
}

TEST_F(Settings, StartupLanguageIsReadWithoutWriting)
{
    // No file: the start-up would write the key empty first, so the system decides.
    EXPECT_EQ(StartupLanguage(Path(), "en_US"), kEnglish);
    EXPECT_EQ(StartupLanguage(Path(), "ru_RU"), kRussian);
    EXPECT_FALSE(QFile::exists(Path()));
    const struct {
        QByteArray File;
        const char* Locale;
        int Expected;
    } cases[] = {
        {"[COMMON]\nMainForm=1,2,3,4\n", "en_US", kEnglish},
        {"[COMMON]\nLanguage=\n", "ru_RU", kRussian},
        {"[COMMON]\nLanguage=Russian\n", "en_US", kRussian},
        {"[COMMON]\nLanguage=english\n", "ru_RU", kEnglish},
    };
    for (const auto& c : cases) {
        Put(c.File);
        EXPECT_EQ(StartupLanguage(Path(), c.Locale), c.Expected) << c.File.toStdString();
        EXPECT_EQ(Get(), c.File);
    }
}

TEST(SettingsMainForm, ParsingStopsAtTheFirstMismatch)
{
    const struct {
        const char* Text;
        int Count;
        TMainFormValues Expected;
    } cases[] = {
        {"", 0, UnsetMainForm()},
        {"x10,20,700,500", 0, UnsetMainForm()},
        {"10,20,700,500", 4, {10, 20, 700, 500, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"1,2,3,4,5,6,7,8,9,10,11,12", 12, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {"1,2,3,4,5,6,7,8,9,10,11,12,13", 12, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {"10,20,x,40", 2, {10, 20, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"10, 20,+30,-40,", 4, {10, 20, 30, -40, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"10 ,20", 1, {10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"10;20;30;40", 1, {10, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}},
    };
    for (const auto& c : cases) {
        TMainFormValues values = UnsetMainForm();
        EXPECT_EQ(ParseMainForm(c.Text, values), c.Count) << c.Text;
        EXPECT_EQ(values, c.Expected) << c.Text;
    }
}

TEST(SettingsMainForm, WhatIsApplied)
{
    const QSize desktop(1920, 1080);
    const struct {
        const char* Text;
        TMainFormValues Expected;
    } cases[] = {
        {"10,20,700", UnsetMainForm()},
        {"10,20,700,500", {10, 20, 700, 500, -1, -1, -1, -1, -1, -1, -1, -1}},
        {"1819,979,700,500,1,150,0,2,0,1,0,1", {1819, 979, 700, 500, 1, 150, 0, 2, 0, 1, 0, 1}},
        {"1820,980,700,500,-1,-7,0", {-1, -1, 700, 500, -1, -1, 0, -1, -1, -1, -1, -1}},
        {"-5,-1,-2,500", {-1, -1, -1, 500, -1, -1, -1, -1, -1, -1, -1, -1}},
    };
    for (const auto& c : cases) {
        TMainFormValues parsed = UnsetMainForm();
        const int count = ParseMainForm(c.Text, parsed);
        EXPECT_EQ(ApplicableMainForm(parsed, count, desktop), c.Expected) << c.Text;
    }
}

TEST_F(Settings, FilesInFileOrderAndLastFile)
{
    Put("[FILES]\n"
        "3=/d.eraw\n"
        "0=/a.eraw\n"
        "1=\n"
        "2=/a.eraw\n"
        "[COMMON]\n"
        "MainForm=10,20,700,500,1\n"
        "LastFile=/last.eraw\n");
    const TSettingsValues values = ReadSettingsFile(Path(), "en_US");
    EXPECT_EQ(values.Files, QStringList({"/d.eraw", "/a.eraw", "/a.eraw"}));
    EXPECT_EQ(values.LastFile, "/last.eraw");
    EXPECT_EQ(values.MainFormCount, 5);
    EXPECT_EQ(values.MainForm[mfAutoWrite], 1);
}

TEST_F(Settings, NoFileGivesTheDefaults)
{
    const TSettingsValues values = ReadSettingsFile(Path(), "en_US");
    EXPECT_EQ(values.Language, kRussian);
    EXPECT_EQ(values.MainFormCount, 0);
    EXPECT_EQ(values.MainForm, UnsetMainForm());
    EXPECT_TRUE(values.Files.isEmpty());
    EXPECT_TRUE(values.LastFile.isEmpty());
}

TEST_F(Settings, SaveWritesItsKeysAndKeepsTheRest)
{
    Put("; kept\n"
        "[COMMON]\n"
        "Language=English\n"
        "MainForm=1,1,1,1\n"
        "Unknown=kept too\n"
        "[FILES]\n"
        "0=/old0.eraw\n"
        "5=/older.eraw\n");
    TMainFormValues mainForm = {10, 20, 700, 500, 0, 150, 1, 0, 0, 0, 1, 1};
    const QStringList files = {"/f0.eraw", "/f1.eraw", "/line\nbreak.eraw", "/f2.eraw", "/f3.eraw", "/f4.eraw"};
    ASSERT_TRUE(WriteSettingsFile(Path(), mainForm, "/f1.eraw", files));
    EXPECT_EQ(Get(),
              "; kept\n"
              "[COMMON]\n"
              "Language=English\n"
              "MainForm=10,20,700,500,0,150,1,0,0,0,1,1\n"
              "Unknown=kept too\n"
              "LastFile=/f1.eraw\n"
              "[FILES]\n"
              "0=/f0.eraw\n"
              "5=/older.eraw\n"
              "1=/f1.eraw\n"
              "2=/f2.eraw\n"
              "3=/f3.eraw\n"
              "4=/f4.eraw\n");

    // The key the save no longer reaches comes back as one more item, in file order.
    const TSettingsValues values = ReadSettingsFile(Path(), "en_US");
    EXPECT_EQ(values.Files,
              QStringList({"/f0.eraw", "/older.eraw", "/f1.eraw", "/f2.eraw", "/f3.eraw", "/f4.eraw"}));
    EXPECT_EQ(values.MainForm, mainForm);
    EXPECT_EQ(values.MainFormCount, kMainFormFieldCount);
    EXPECT_EQ(values.Language, kEnglish);
}

TEST_F(Settings, EnsureLanguageKeyWritesOnlyAMissingKey)
{
    ASSERT_TRUE(EnsureLanguageKey(Path()));
    EXPECT_EQ(Get(), "[COMMON]\nLanguage=\n");

    Put("[COMMON]\r\nlanguage=English\r\n");
    ASSERT_TRUE(EnsureLanguageKey(Path()));
    EXPECT_EQ(Get(), "[COMMON]\r\nlanguage=English\r\n");

    Put("[COMMON]\r\nMainForm=1,2,3,4\r\n");
    ASSERT_TRUE(EnsureLanguageKey(Path()));
    EXPECT_EQ(Get(), "[COMMON]\r\nMainForm=1,2,3,4\r\nLanguage=\r\n");
}

TEST_F(Settings, AnUnwritablePlaceChangesNothingAndReportsNothing)
{
    const QString nowhere = SettingsFilePath(dir.filePath("missing"));
    EXPECT_FALSE(EnsureLanguageKey(nowhere));
    EXPECT_EQ(ReadSettingsFile(nowhere, "en_US").Language, kRussian);
    EXPECT_FALSE(WriteSettingsFile(nowhere, UnsetMainForm(), QString(), {}));
    EXPECT_FALSE(QDir(dir.filePath("missing")).exists());
}

}  // namespace
