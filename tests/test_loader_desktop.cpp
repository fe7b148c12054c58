// The built loader on a desktop of its own (Xvfb with the openbox window manager): what
// only a real window manager shows, such as the frame round the window.

#include "LoaderProcess.h"
#include "XDesktop.h"

#include <QRect>
#include <QRegularExpression>

#include <csignal>
#include <optional>

namespace {

using namespace ql::test;

constexpr int kPlaceWaitMs = 10000;
constexpr int kPollMs = 50;

class LoaderOnDesktop : public TLoaderProcessTest {
protected:
    void SetUp() override
    {
        TLoaderProcessTest::SetUp();
        if (const QString whyNot = desktop.Start(); !whyNot.isEmpty())
            GTEST_SKIP() << whyNot.toStdString();
        extraEnv.insert("QT_QPA_PLATFORM", "xcb");
        extraEnv.insert("DISPLAY", desktop.Display());
        // The stand-in driver libraries bind, and without a simulator they list no device:
        // the window comes up without the no-driver box.
        keepLibraryPath = true;
    }

    static std::optional<long> Number(const QByteArray& text, const QString& pattern)
    {
        const QRegularExpressionMatch match = QRegularExpression(pattern).match(QString::fromLatin1(text));
        if (!match.hasMatch())
            return std::nullopt;
        return match.captured(1).toLong(nullptr, 0);
    }

    // The place of the frame round the loader's window, once openbox has framed it;
    // otherwise what was seen instead.
    std::optional<QRect> FramedPlace(qint64 pid, QString& seen) const
    {
        const QByteArray clients = desktop.Query("xprop", {"-root", "_NET_CLIENT_LIST"});
        seen = "clients: " + QString::fromLatin1(clients).trimmed();
        static const QRegularExpression windowId("0x[0-9a-fA-F]+");
        for (auto it = windowId.globalMatch(QString::fromLatin1(clients)); it.hasNext();) {
            const QString id = it.next().captured();
            if (Number(desktop.Query("xprop", {"-id", id, "_NET_WM_PID"}), R"(= (\d+))") != pid)
                continue;
            const QByteArray extents = desktop.Query("xprop", {"-id", id, "_NET_FRAME_EXTENTS"});
            const QRegularExpressionMatch e = QRegularExpression(R"(= (\d+), (\d+), (\d+), (\d+))").match(QString::fromLatin1(extents));
            const QByteArray info = desktop.Query("xwininfo", {"-id", id});
            seen = QString::fromLatin1(extents + info).simplified();
            if (!e.hasMatch() || !info.contains("IsViewable"))
                return std::nullopt;
            const auto x = Number(info, R"(Absolute upper-left X:\s+(-?\d+))");
            const auto y = Number(info, R"(Absolute upper-left Y:\s+(-?\d+))");
            const auto width = Number(info, R"(Width:\s+(\d+))");
            const auto height = Number(info, R"(Height:\s+(\d+))");
            if (!x || !y || !width || !height)
                return std::nullopt;
            const int left = e.captured(1).toInt(), right = e.captured(2).toInt();
            const int top = e.captured(3).toInt(), bottom = e.captured(4).toInt();
            return QRect(int(*x) - left, int(*y) - top, int(*width) + left + right, int(*height) + top + bottom);
        }
        return std::nullopt;
    }

    QByteArray SavedPlacement() const
    {
        const QRegularExpressionMatch match =
            QRegularExpression(R"(MainForm=(-?\d+,-?\d+,-?\d+,-?\d+),)").match(QString::fromLatin1(ReadFileBytes(Ini())));
        return match.captured(1).toLatin1();
    }

    TXDesktop desktop;
};

TEST_F(LoaderOnDesktop, ThreeRunsUnderAWindowManagerSaveThePlacementTheyStartedWith)
{
    const QByteArray placement = "120,90,900,600";
    const QRect expected(120, 90, 900, 600);
    ASSERT_TRUE(WriteFileBytes(Ini(), "[COMMON]\nLanguage=English\nMainForm=" + placement + ",0,209,0,0,0,0,0\n"));
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        QProcess loader;
        Start(loader, {"console"});
        // Shown and framed; the loader then puts the frame where the settings say.
        std::optional<QRect> framed;
        QString seen;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < kPlaceWaitMs) {
            framed = FramedPlace(loader.processId(), seen);
            if (framed == expected)
                break;
            QThread::msleep(kPollMs);
        }
        ASSERT_TRUE(framed.has_value()) << "the window was never framed; seen: " << seen.toStdString()
                                        << "\nloader said: " << loader.readAll().toStdString();
        EXPECT_EQ(*framed, expected);
        ::kill(pid_t(loader.processId()), SIGTERM);
        ASSERT_TRUE(loader.waitForFinished(kStartMs));
        EXPECT_EQ(loader.exitCode(), 255);
        ASSERT_EQ(SavedPlacement(), placement);
    }
}

}  // namespace
