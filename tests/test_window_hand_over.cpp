#include "TestLog.h"
#include "WindowFixture.h"
#include "core/HandedLog.h"
#include "core/UiCall.h"
#include "platform/UiHandOver.h"

#include <QThread>

#include <atomic>
#include <thread>

using namespace ql;
using namespace ql::test;

namespace {

TEST(UiHandOver, WorkOfAnotherThreadRunsOnTheUiThreadWhileItWaits)
{
    TUiHandOver handOver;
    QThread* const ui = QThread::currentThread();
    std::atomic<bool> done{false};
    QThread* ranOn = nullptr;
    bool sawResult = false;
    std::thread worker([&] {
        int result = 0;
        handOver.RunOnUiThread([&] {
            ranOn = QThread::currentThread();
            result = 42;
        });
        sawResult = result == 42;
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(ranOn, ui);
    EXPECT_TRUE(sawResult);

    // On the UI thread itself: at once, with no event loop.
    bool direct = false;
    handOver.RunOnUiThread([&] { direct = true; });
    EXPECT_TRUE(direct);
}

TEST(UiHandOver, ShutdownReleasesAWaitingThreadWithoutRunningItsWork)
{
    TUiHandOver handOver;
    std::atomic<int> ran{0};
    std::atomic<bool> called{false};
    std::thread worker([&] {
        called = true;
        handOver.RunOnUiThread([&] { ++ran; });   // the UI thread serves nothing: waits
        handOver.RunOnUiThread([&] { ++ran; });   // after the shutdown: returns at once
    });
    while (!called)
        std::this_thread::yield();
    handOver.Shutdown();
    worker.join();  // would hang if the waiter were not released
    Pump();  // the queued call, if any, must not run now either
    EXPECT_EQ(ran.load(), 0);
    EXPECT_TRUE(handOver.IsShutDown());
}

TEST(UiHandOver, LinesOfOneThreadKeepTheirOrder)
{
    TUiHandOver handOver;
    TCollectingLog collected;
    THandedLog log(handOver, collected);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            log.Text(lkInfo, 7, QString::number(i));
        done = true;
    });
    EXPECT_TRUE(PumpUntil([&] { return done.load(); }));
    worker.join();
    ASSERT_EQ(collected.Lines.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(collected.Lines[size_t(i)].Text, QString::number(i));
}

// A thread that logs through the window until it is told to stop: destroying the window
// asks it to stop and waits for it, while it may be blocked in a hand-over.
TEST_F(WindowTest, DestroyingTheWindowStopsAThreadBlockedInAHandOver)
{
    WriteIni("[COMMON]\nLanguage=English\n");
    std::atomic<bool> stop{false};
    std::atomic<int> logged{0};
    std::thread worker;
    TMainForm& w = Make();
    THandedLog log(w.HandOver(), w);
    commands.Stop = [&] {
        stop = true;
        worker.join();
    };
    w.SetCommands(&commands);
    Show();
    worker = std::thread([&] {
        while (!stop) {
            log.Text(lkInfo, 1, "line");
            ++logged;
        }
    });
    EXPECT_TRUE(PumpUntil([&] { return logged > 3; }));
    // No event loop runs from here on: the thread is soon blocked in its next hand-over.
    Destroy();
    EXPECT_TRUE(stop.load());
}

}  // namespace
