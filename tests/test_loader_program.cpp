// The built loader as a process: a copy in a private exeDir with its own runtime
// directory, as a user's portable copy would run.

#include "FileBytes.h"
#include "app/LogFile.h"
#include "platform/InstanceLock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

constexpr int kStartMs = 10000;
// A second start waits 500 ms for the lock; slack for a loaded machine.
constexpr int kSecondStartLimitMs = 3000;

const QByteArray kEnglishLines = "Device -------\tFirmware is loaded from resources\n"
                                 "Device -------\tFirmware version \"QRGX-13.39-a6\"\n"
                                 "Device -------\tDate of compilation \"04-04-2025 16:56:42\"\n"
                                 "Device -------\tBefore the first start of the program connect the device to "
                                 "your PC using a USB cable and install the driver.\n";

class LoaderProgram : public ::testing::Test {
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

    // No driver library on the path, no device events unless a test sets them.
    void Start(QProcess& loader, const QStringList& arguments, bool platformOnCommandLine = false)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", RuntimeDir());
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
        loader.start(Exe(), all);
        ASSERT_TRUE(loader.waitForStarted(kStartMs));
    }
    // Reads standard output until it holds text.
    static bool WaitForOutput(QProcess& loader, QByteArray& out, const QByteArray& text)
    {
        QElapsedTimer timer;
        timer.start();
        while (!out.contains(text) && timer.elapsed() < kStartMs) {
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
};

TEST_F(LoaderProgram, AStartWhileTheLockIsHeldEndsWith255AndDoesNothing)
{
    QProcess holder;
    holder.start(QStringLiteral(LOCK_HOLDER_PATH), {QDir(RuntimeDir()).filePath(ql::kInstanceLockName)});
    ASSERT_TRUE(holder.waitForReadyRead(kStartMs));
    ASSERT_EQ(holder.readAllStandardOutput().trimmed(), "held");

    ExpectRefusedStart();
    EXPECT_FALSE(QFileInfo::exists(Ini()));
    holder.kill();
    holder.waitForFinished();
}

TEST_F(LoaderProgram, ConsoleLinesLogFileSecondInstanceAndAStopLikeAClose)
{
    ASSERT_TRUE(ql::test::WriteFileBytes(Ini(), "[COMMON]\nLanguage=English\n"
                                                "MainForm=0,0,800,520,0,209,1,0,0,0,0,0\n"));
    const QString events = dir.filePath("events");
    extraEnv.insert("QLFW_DEVICE_EVENTS", events);
    QProcess loader;
    Start(loader, {"CONSOLE"}, true);
    QByteArray out;
    // Neither driver library exists here: the loader says so and waits at its box.
    ASSERT_TRUE(WaitForOutput(loader, out, "install the driver.\n")) << out.constData();
    EXPECT_EQ(out, kEnglishLines);
    EXPECT_TRUE(QFileInfo(events).exists());

    // The real lock of the running loader keeps a second one out.
    ExpectRefusedStart();

    ::kill(pid_t(loader.processId()), SIGTERM);
    ASSERT_TRUE(loader.waitForFinished(kStartMs));
    EXPECT_EQ(loader.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(loader.exitCode(), 255);
    EXPECT_FALSE(QFileInfo(events).exists());
    // The settings were saved on the way out, the check boxes as they stood.
    EXPECT_TRUE(ql::test::ReadFileBytes(Ini()).contains(",209,1,0,0,0,0,0\n")) << ql::test::ReadFileBytes(Ini()).constData();
    // The daily file holds the same lines, each stamped, in UTF-16LE with its mark.
    const QByteArray log = ql::test::ReadFileBytes(ql::LogFilePath(dir.path() + "/", QDate::currentDate()));
    ASSERT_TRUE(log.startsWith("\xFF\xFE"));
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(log.constData() + 2), (log.size() - 2) / 2);
    EXPECT_EQ(text.count("]\tDevice -------\t"), 4) << text.toStdString();
    EXPECT_TRUE(text.contains("]\tDevice -------\tFirmware is loaded from resources\r\n"));
}

}  // namespace
