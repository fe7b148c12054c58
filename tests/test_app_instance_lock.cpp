#include "platform/InstanceLock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

using namespace ql;

namespace {

// Slack for a loaded machine around the 500 ms wait.
constexpr int kEarlyMs = 450;
constexpr int kLateMs = 3000;

class InstanceLock : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString LockPath() const { return dir.filePath(kInstanceLockName); }

    // Starts the helper process that takes the lock and keeps it until killed.
    void StartHolder(QProcess& holder)
    {
        holder.start(QStringLiteral(LOCK_HOLDER_PATH), {LockPath()});
        ASSERT_TRUE(holder.waitForReadyRead(5000));
        ASSERT_EQ(holder.readAllStandardOutput().trimmed(), "held");
    }

    QTemporaryDir dir;
};

TEST_F(InstanceLock, AnotherProcessHoldingItMakesTheTakeFailAfterTheWait)
{
    QProcess holder;
    StartHolder(holder);
    TInstanceLock lock(LockPath());
    QElapsedTimer waited;
    waited.start();
    EXPECT_FALSE(lock.Acquire());
    EXPECT_GE(waited.elapsed(), kEarlyMs);
    EXPECT_LT(waited.elapsed(), kLateMs);
    EXPECT_FALSE(lock.IsHeld());

    // A killed holder leaves the file behind but no lock.
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(5000));
    EXPECT_TRUE(QFile::exists(LockPath()));
    waited.restart();
    EXPECT_TRUE(lock.Acquire());
    EXPECT_LT(waited.elapsed(), kEarlyMs);
}

TEST_F(InstanceLock, HeldHereMakesAnotherProcessGiveUp)
{
    TInstanceLock lock(LockPath());
    ASSERT_TRUE(lock.Acquire());
    QProcess second;
    second.start(QStringLiteral(LOCK_HOLDER_PATH), {LockPath()});
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(second.readAllStandardOutput().trimmed(), "busy");
}

TEST_F(InstanceLock, ReleaseWithinTheWaitLetsTheWaiterIn)
{
    TInstanceLock first(LockPath());
    TInstanceLock second(LockPath());
    ASSERT_TRUE(first.Acquire());
    EXPECT_FALSE(second.Acquire(0));
    std::thread releaser([&first] {
        QThread::msleep(150);
        first.Release();
    });
    EXPECT_TRUE(second.Acquire());
    releaser.join();
    EXPECT_FALSE(first.IsHeld());
    EXPECT_TRUE(second.IsHeld());
    second.Release();
    EXPECT_TRUE(first.Acquire(0));
}

TEST_F(InstanceLock, ALockThatCannotBeMadeIsNotAcquired)
{
    TInstanceLock lock(dir.filePath("missing/" + kInstanceLockName));
    EXPECT_FALSE(lock.Acquire(0));
    EXPECT_FALSE(lock.IsHeld());
}

TEST(InstanceLockPath, RuntimeDirectoryOrTemporaryDirectory)
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/run/user/4242");
    EXPECT_EQ(InstanceLockPath(), "/run/user/4242/QLUSBFirmwareLoaderBaseMutex");
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(InstanceLockPath(), QDir(QDir::tempPath()).filePath("QLUSBFirmwareLoaderBaseMutex"));
    if (!saved.isNull())
        qputenv("XDG_RUNTIME_DIR", saved);
}

}  // namespace
