#pragma once
// The built loader as a process: a copy in a private exeDir with its own runtime
// directory, as a user's portable copy would run.

#include "FileBytes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace ql::test {

constexpr int kStartMs = 10000;
// A second start waits 500 ms for the lock; slack for a loaded machine.
constexpr int kSecondStartLimitMs = 3000;

class TLoaderProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkdir("run"));
        QFile::setPermissions(RuntimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ASSERT_TRUE(QFile::copy(QStringLiteral(LOADER_PATH), Exe()));
    }
    QString Exe() const { return dir.filePath("qlfwloader"); }
    QString RuntimeDir() const { return dir.filePath("run"); }
    QString Ini() const { return dir.filePath("QLFWLoader.ini"); }

    // No driver library on the path (unless keepLibraryPath), no device events unless a
    // test sets them.
    void Start(QProcess& loader, const QStringList& arguments, bool platformOnCommandLine = false)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", RuntimeDir());
        if (!keepLibraryPath)
            env.remove("LD_LIBRARY_PATH");
        env.remove("QLFW_DEVICE_EVENTS");
        if (platformOnCommandLine)
            env.remove("QT_QPA_PLATFORM");
        else
            env.insert("QT_QPA_PLATFORM", "offscreen");
        for (auto it = extraEnv.begin(); it != extraEnv.end(); ++it)
            env.insert(it.key(), it.value());
        loader.setProcessEnvironment(env);
        loader.setWorkingDirectory(dir.path());
        QStringList all = arguments;
        if (platformOnCommandLine)
            all << "-platform" << "offscreen";
        if (launcher.Program.isEmpty())
            loader.start(Exe(), all);
        else
            loader.start(launcher.Program, launcher.Arguments + QStringList{Exe()} + all);
        ASSERT_TRUE(loader.waitForStarted(kStartMs));
    }
    // Reads standard output until it holds text.
    static bool WaitForOutput(QProcess& loader, QByteArray& out, const QByteArray& text, int timeoutMs = kStartMs)
    {
        QElapsedTimer timer;
        timer.start();
        while (!out.contains(text) && timer.elapsed() < timeoutMs) {
            loader.waitForReadyRead(100);
            out += loader.readAllStandardOutput();
        }
        return out.contains(text);
    }

    // Another start while the lock is held: ends with 255 after the lock's wait, silent.
    void ExpectRefusedStart()
    {
        QProcess loader;
        QElapsedTimer timer;
        timer.start();
        Start(loader, {"console"});
        ASSERT_TRUE(loader.waitForFinished(kStartMs));
        EXPECT_LT(timer.elapsed(), kSecondStartLimitMs);
        EXPECT_EQ(loader.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(loader.exitCode(), 255);
        EXPECT_TRUE(loader.readAllStandardOutput().isEmpty());
    }

    QTemporaryDir dir;
    QMap<QString, QString> extraEnv;
    bool keepLibraryPath = false;
    // A program that starts the loader (its arguments come before the loader's path).
    struct {
        QString Program;
        QStringList Arguments;
    } launcher;
};

}  // namespace ql::test
