#include "app/ExeDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ql;

namespace {

class ExeDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        savedDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
        QCoreApplication::setApplicationName("qlfwloader");
    }
    void TearDown() override
    {
        if (savedDataHome.isNull())
            qunsetenv("XDG_DATA_HOME");
        else
            qputenv("XDG_DATA_HOME", savedDataHome);
    }

    QTemporaryDir dir;
    QByteArray savedDataHome;
};

TEST_F(ExeDir, AWritableDirectoryIsKeptAndLeftAsItWas)
{
    EXPECT_EQ(ChooseExeDir(dir.path()), dir.path() + "/");
    EXPECT_EQ(ChooseExeDir(dir.path() + "/"), dir.path() + "/");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

TEST_F(ExeDir, OtherwiseTheDataDirectoryIsCreatedAndUsed)
{
    // Run as root, permission bits would not stop the probe: a file standing where the
    // directory should be, and a missing directory, do.
    QFile blocker(dir.filePath("bin"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString expected = dir.filePath("data/qlfwloader/");
    for (const QString& candidate : {dir.filePath("bin"), dir.filePath("missing"), QString()}) {
        EXPECT_EQ(ChooseExeDir(candidate), expected) << candidate.toStdString();
        EXPECT_TRUE(QFileInfo(expected).isDir());
    }
}

TEST_F(ExeDir, ASystemProgramFolderIsNeverUsedEvenWhenWritable)
{
    // Run as root, /usr/bin accepts the probe; an installed loader still keeps its files
    // per user, and nothing is tried in the system folder.
    const QString expected = dir.filePath("data/qlfwloader/");
    for (const QString system : {"/usr/bin", "/usr/bin/", "/bin", "/usr/local/bin", "/usr/sbin"}) {
        EXPECT_TRUE(IsSystemProgramFolder(system)) << system.toStdString();
        EXPECT_EQ(ChooseExeDir(system), expected) << system.toStdString();
    }
    // A link to a system folder counts as the folder.
    const QString link = dir.filePath("bin-link");
    ASSERT_TRUE(QFile::link("/usr/bin", link));
    EXPECT_TRUE(IsSystemProgramFolder(link));
    EXPECT_EQ(ChooseExeDir(link), expected);
    // A folder below one, or a copy's own folder, is no system program folder.
    EXPECT_FALSE(IsSystemProgramFolder("/usr/bin/tools"));
    EXPECT_FALSE(IsSystemProgramFolder("/usr"));
    EXPECT_FALSE(IsSystemProgramFolder(dir.path()));
}

TEST_F(ExeDir, TheDataDirectoryCanBeNamedWithoutBeingCreated)
{
    const QString expected = dir.filePath("data/qlfwloader/");
    EXPECT_EQ(ChooseExeDir("/usr/bin", TDataDir::Leave), expected);
    EXPECT_FALSE(QFileInfo::exists(expected));
    EXPECT_EQ(ChooseExeDir(dir.path(), TDataDir::Leave), dir.path() + "/");
}

}  // namespace
