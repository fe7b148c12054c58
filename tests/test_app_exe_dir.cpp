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

}  // namespace
