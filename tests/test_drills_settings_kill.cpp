// Fault drill: the built loader killed (SIGKILL) while it saves its settings. A stop by
// SIGTERM makes it save them on the way out; a SIGKILL follows after a delay that moves,
// run by run, across the whole of that way out. Afterwards the settings file is always
// either the old version or the complete new one.

#include "LoaderProcess.h"

#include <QDir>
#include <QElapsedTimer>

#include <chrono>
#include <csignal>
#include <thread>

using namespace ql::test;

namespace {

constexpr int kKillRuns = 24;

class SettingsKill : public TLoaderProcessTest {
protected:
    // The old version: a four-value window line the loader rewrites with all its values,
    // and many lines of notes, so that a save takes long enough to be hit.
    static QByteArray OldSettings()
    {
        QByteArray text = "[COMMON]\nLanguage=English\nMainForm=0,0,800,520\n[NOTES]\n";
        for (int i = 0; i < 200000; ++i)
            text += "; note " + QByteArray::number(i) + " kept by every save of the loader\n";
        return text;
    }

    // Starts the loader on the old settings and stops it with SIGTERM once it is up; a
    // SIGKILL follows after killAfterUs unless it is negative. The time from the SIGTERM
    // to the end of the process.
    qint64 StopRun(qint64 killAfterUs)
    {
        EXPECT_TRUE(WriteFileBytes(Ini(), OldSettings()));
        QProcess loader;
        Start(loader, {"console"});
        QByteArray out;
        // No driver library here: its last start-up line says the maker's library is
        // missing, its window started.
        EXPECT_TRUE(WaitForOutput(loader, out, "device driver is not installed\n")) << out.constData();
        QElapsedTimer stop;
        stop.start();
        ::kill(pid_t(loader.processId()), SIGTERM);
        if (killAfterUs >= 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(killAfterUs));
            savesHit += SavingNow(loader.processId());
            ::kill(pid_t(loader.processId()), SIGKILL);
        }
        EXPECT_TRUE(loader.waitForFinished(kStartMs));
        return stop.nsecsElapsed() / 1000;
    }

    // Whether the process holds a file of its exeDir open (other than the daily log):
    // the settings being read or their new version being written.
    bool SavingNow(qint64 pid) const
    {
        const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
        for (const QString& fd : QDir(fds).entryList(QDir::Files | QDir::System)) {
            const QString target = QFile::symLinkTarget(fds + u'/' + fd);
            if (target.startsWith(dir.path() + u'/') && !target.contains(QStringLiteral("/Logs/")))
                return true;
        }
        return false;
    }
    QStringList LeftOvers() const
    {
        QStringList names = QDir(dir.path()).entryList({"QLFWLoader.ini*"}, QDir::Files | QDir::Hidden);
        names.removeAll("QLFWLoader.ini");
        return names;
    }
    int savesHit = 0;
};

TEST_F(SettingsKill, TheSettingsFileIsTheOldOrTheNewVersionAfterAKill)
{
    const QByteArray old = OldSettings();
    const qint64 wayOutUs = StopRun(-1);
    const QByteArray saved = ReadFileBytes(Ini());
    ASSERT_NE(saved, old) << "the save changes nothing; the drill would show nothing";
    ASSERT_TRUE(saved.contains("\nMainForm=0,0,"));

    int oldSeen = 0, newSeen = 0, cutShort = 0;
    for (int run = 0; run < kKillRuns; ++run) {
        // From at once to a little past the end of a whole stop.
        const qint64 killAfterUs = wayOutUs * run / (kKillRuns - 2);
        SCOPED_TRACE(testing::Message() << "SIGKILL " << killAfterUs << " us after SIGTERM");
        StopRun(killAfterUs);
        const QByteArray now = ReadFileBytes(Ini());
        const bool isOld = now == old, isNew = now == saved;
        EXPECT_TRUE(isOld || isNew) << "a settings file of " << now.size() << " bytes is neither version";
        oldSeen += isOld;
        newSeen += isNew;
        // A temporary file of a save that was cut short may stay behind; it is never the
        // settings file itself.
        const QStringList leftOvers = LeftOvers();
        cutShort += !leftOvers.isEmpty();
        for (const QString& name : leftOvers)
            QFile::remove(dir.filePath(name));
    }
    RecordProperty("old_versions", oldSeen);
    RecordProperty("new_versions", newSeen);
    RecordProperty("saves_cut_short", cutShort);
    RecordProperty("kills_while_the_settings_file_was_open", savesHit);
    RecordProperty("way_out_us", int(wayOutUs));
}

}  // namespace
