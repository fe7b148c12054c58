// The bridge of a kernel-driver tracker holds the tracker's bytes as the chip does: a
// packet goes as soon as 62 bytes wait, the rest once the latency timer has run out since
// the first of them arrived. Times are handed in, so nothing here waits.

#include "FileBytes.h"
#include "sim/KernelFtdiLine.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ql;
using namespace ql::sim;

namespace {

constexpr int64_t kUsPerMs = 1000;
constexpr int64_t kStartUs = 5000000;

class KernelLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, ends), 0);
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override
    {
        ::close(ends[0]);
        ::close(ends[1]);
    }
    // What the loader's side can read now.
    QByteArray Arrived()
    {
        char buffer[4096];
        const ssize_t n = ::read(ends[1], buffer, sizeof(buffer));
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }
    QString Timer(const QByteArray& value)
    {
        const QString path = dir.filePath("latency_timer");
        EXPECT_TRUE(test::WriteFileBytes(path, value));
        return path;
    }

    int ends[2] = {-1, -1};
    QTemporaryDir dir;
    TKernelFtdiLine line;
};

struct TTimerCase {
    const char* File;  // nullptr: no file
    int Ms;
};

class LatencyTimer : public KernelLine, public ::testing::WithParamInterface<TTimerCase> {};

TEST_P(LatencyTimer, AShortReplyWaitsForTheTimerSinceItsFirstByte)
{
    const TTimerCase& c = GetParam();
    ASSERT_TRUE(line.Open(ends[0], c.File ? Timer(c.File) : QString()));
    EXPECT_EQ(line.LatencyMs(), c.Ms);
    line.Queue(QByteArray(10, 'a'), kStartUs);
    line.Queue(QByteArray(4, 'b'), kStartUs + 500);  // the timer runs from the first byte
    EXPECT_EQ(line.NextFlushUs(), kStartUs + c.Ms * kUsPerMs);
    line.Flush(kStartUs + c.Ms * kUsPerMs - 1);
    EXPECT_TRUE(Arrived().isEmpty());
    line.Flush(kStartUs + c.Ms * kUsPerMs);
    EXPECT_EQ(Arrived(), QByteArray(10, 'a') + QByteArray(4, 'b'));
    EXPECT_EQ(line.NextFlushUs(), INT64_MAX);
}

INSTANTIATE_TEST_SUITE_P(Files, LatencyTimer,
                         ::testing::Values(TTimerCase{nullptr, 16}, TTimerCase{"1\n", 1},
                                           TTimerCase{"40", 40}, TTimerCase{"0", 16},
                                           TTimerCase{"garbage", 16}, TTimerCase{"256", 16}));

TEST_F(KernelLine, FullPacketsGoAtOnceAndTheRestWaitsAWholeTimerAgain)
{
    ASSERT_TRUE(line.Open(ends[0], QString()));
    QByteArray reply;
    for (int i = 0; i < 2 * kBridgePacketBytes + 10; ++i)
        reply += char(i);
    line.Queue(reply, kStartUs);
    line.Flush(kStartUs + 3 * kUsPerMs);
    EXPECT_EQ(Arrived(), reply.left(2 * kBridgePacketBytes));
    EXPECT_EQ(line.NextFlushUs(), kStartUs + (3 + kBridgeDefaultLatencyMs) * kUsPerMs);
    line.Flush(kStartUs + (3 + kBridgeDefaultLatencyMs) * kUsPerMs);
    EXPECT_EQ(Arrived(), reply.mid(2 * kBridgePacketBytes));
}

TEST_F(KernelLine, ANegativeDescriptorIsNoLine)
{
    EXPECT_FALSE(line.Open(-1, QString()));
    EXPECT_FALSE(line.IsOpen());
    line.Queue("x", kStartUs);
    line.Flush(kStartUs + kBridgeDefaultLatencyMs * kUsPerMs);  // nothing to write to, no crash
}

}  // namespace
