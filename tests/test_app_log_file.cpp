#include "Bytes.h"
#include "FileBytes.h"
#include "app/LogFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ql;

namespace {

const QDateTime kMorning(QDate(2026, 12, 10), QTime(9, 5, 3, 7));

// UTF-16LE of plain ASCII text: each byte followed by a zero byte.
QByteArray AsciiUtf16(const QByteArray& ascii)
{
    QByteArray out;
    for (const char c : ascii)
        out.append(c).append('\0');
    return out;
}

class LogFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString ExeDir() const { return dir.path() + "/"; }
    QByteArray Read(const QString& path) const { return test::ReadFileBytes(path); }

    QTemporaryDir dir;
};

TEST_F(LogFile, FirstLineCreatesTheFileWithTheMarkTheSecondIsAppended)
{
    const QString path = dir.filePath("Logs/20261210.log");
    EXPECT_EQ(LogFilePath(ExeDir(), kMorning.date()), path);

    AppendLogFile(ExeDir(), QString::fromUtf16(u"\u041F\u0440\u0438\u0431\u043E\u0440 -------\tOK"), kMorning);
    const QByteArray first = "\xFF\xFE" + AsciiUtf16("[10.12.2026 09:05:03.007]\t")
                             + test::Hex("1F 04 40 04 38 04 31 04 3E 04 40 04")
                             + AsciiUtf16(" -------\tOK\r\n");
    EXPECT_EQ(Read(path), first);

    AppendLogFile(ExeDir(), "Device 1234567\tDevice connected", kMorning.addMSecs(1000 * 3600 * 14 + 4));
    EXPECT_EQ(Read(path), first + AsciiUtf16("[10.12.2026 23:05:03.011]\tDevice 1234567\tDevice connected\r\n"));
}

TEST_F(LogFile, AnExistingEmptyFileGetsNoMark)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir("Logs"));
    QFile empty(dir.filePath("Logs/20261210.log"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    AppendLogFile(ExeDir(), "x", kMorning);
    EXPECT_EQ(Read(empty.fileName()), AsciiUtf16("[10.12.2026 09:05:03.007]\tx\r\n"));
}

TEST_F(LogFile, ALineAfterMidnightStartsTheNextDaysFile)
{
    const QDateTime lastOfDay(QDate(2026, 12, 31), QTime(23, 59, 59, 999));
    AppendLogFile(ExeDir(), "old", lastOfDay);
    AppendLogFile(ExeDir(), "new", lastOfDay.addMSecs(1));
    EXPECT_EQ(Read(dir.filePath("Logs/20261231.log")), "\xFF\xFE" + AsciiUtf16("[31.12.2026 23:59:59.999]\told\r\n"));
    EXPECT_EQ(Read(dir.filePath("Logs/20270101.log")), "\xFF\xFE" + AsciiUtf16("[01.01.2027 00:00:00.000]\tnew\r\n"));
}

TEST_F(LogFile, MissingParentsAreCreated)
{
    const QString exeDir = dir.filePath("portable/copy/");
    AppendLogFile(exeDir, "x", kMorning);
    EXPECT_TRUE(QFileInfo(dir.filePath("portable/copy/Logs/20261210.log")).isFile());
}

TEST_F(LogFile, WhereNothingCanBeWrittenTheLineIsDroppedSilently)
{
    // A file standing where Logs/ should be.
    QFile blocker(dir.filePath("Logs"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    AppendLogFile(ExeDir(), "lost", kMorning);
    EXPECT_TRUE(QFileInfo(blocker.fileName()).isFile());
    EXPECT_EQ(QFileInfo(blocker.fileName()).size(), 0);

    // A directory standing where today's file should be.
    const QString other = dir.filePath("other/");
    ASSERT_TRUE(QDir().mkpath(other + "Logs/20261210.log"));
    AppendLogFile(other, "lost", kMorning);
    EXPECT_TRUE(QFileInfo(other + "Logs/20261210.log").isDir());
}

}  // namespace
