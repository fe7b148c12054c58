// The built loader as a process, without driver libraries.

#include "LoaderProcess.h"
#include "app/LogFile.h"
#include "core/MessageCatalogue.h"
#include "app/ProgramVersion.h"
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

const QByteArray kEnglishLines = "Device -------\tFirmware is loaded from resources\n"
                                 "Device -------\tFirmware version \"QRGX-13.39-a6\"\n"
                                 "Device -------\tDate of compilation \"04-04-2025 16:56:42\"\n"
                                 "Device -------\tThe FTDI library is not installed: trackers behind FTDI "
                                 "bridges are reached through the system's driver\n"
                                 "Device -------\tMorvessan device driver is not installed\n";

using namespace ql::test;
using LoaderProgram = TLoaderProcessTest;

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
    // Neither driver library exists here: the loader says how FTDI bridges are reached
    // and that the maker's library is missing, and runs on.
    ASSERT_TRUE(WaitForOutput(loader, out, "driver is not installed\n")) << out.constData();
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
    EXPECT_EQ(text.count("]\tDevice -------\t"), 5) << text.toStdString();
    EXPECT_TRUE(text.contains("]\tDevice -------\tFirmware is loaded from resources\r\n"));
}

TEST_F(LoaderProgram, HelpAndVersionAnswerWithoutDisplayLockOrFiles)
{
    // A loader runs (its lock is held) and there is no display: the answers still come.
    QProcess holder;
    holder.start(QStringLiteral(LOCK_HOLDER_PATH), {QDir(RuntimeDir()).filePath(ql::kInstanceLockName)});
    ASSERT_TRUE(holder.waitForReadyRead(kStartMs));
    const QString usageEnglish = ql::MessageText(ql::kEnglish, ql::msg::Usage);
    const QString usageRussian = ql::MessageText(ql::kRussian, ql::msg::Usage);
    const struct {
        QStringList Arguments;
        QByteArray Settings;  // beside the copy; empty: no file
        QString Expected;
    } cases[] = {
        {{"--version"}, "", QStringLiteral("qlfwloader %1\n").arg(ql::kProgramVersion)},
        {{"/VERSION", "autowrite"}, "", QStringLiteral("qlfwloader %1\n").arg(ql::kProgramVersion)},
        {{"-h"}, "[COMMON]\nLanguage=English\n", usageEnglish},
        {{"autoclose", "Help"}, "[COMMON]\nLanguage=Russian\n", usageRussian},
        // No settings file: the system's language decides, as at a first start.
        {{"--help"}, "", usageRussian},
    };
    for (const auto& c : cases) {
        QFile::remove(Ini());
        if (!c.Settings.isEmpty()) {
            ASSERT_TRUE(WriteFileBytes(Ini(), c.Settings));
        }
        QProcess loader;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", RuntimeDir());
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        env.insert("LANG", "ru_RU.UTF-8");
        env.remove("LC_ALL");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        loader.setProcessEnvironment(env);
        loader.start(Exe(), c.Arguments);
        ASSERT_TRUE(loader.waitForFinished(kStartMs));
        EXPECT_EQ(loader.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(loader.exitCode(), 0) << c.Arguments.join(' ').toStdString();
        EXPECT_EQ(QString::fromUtf8(loader.readAllStandardOutput()), c.Expected) << c.Arguments.join(' ').toStdString();
        // Nothing written: no settings file, no log folder, no data folder.
        if (c.Settings.isEmpty())
            EXPECT_FALSE(QFileInfo::exists(Ini()));
        else
            EXPECT_EQ(ReadFileBytes(Ini()), c.Settings);
        const QStringList expected = c.Settings.isEmpty() ? QStringList({"qlfwloader", "run"})
                                                          : QStringList({"QLFWLoader.ini", "qlfwloader", "run"});
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries, QDir::Name), expected);
    }
    holder.kill();
    holder.waitForFinished();
}

}  // namespace
