// The COM-port link against a pseudo-terminal whose far end the test plays itself: the
// framing of requests and replies, the two fixed requests and the handle's life.

#include "Bytes.h"
#include "FileBytes.h"
#include "LinkTraceCapture.h"
#include "PtyFarEnd.h"
#include "core/MessageCatalogue.h"
#include "devices/DevEntry.h"
#include "links/ComPortLog.h"
#include "links/DeviceChannel.h"
#include "links/DriverLibraries.h"
#include "links/ComReply.h"
#include "links/Frame.h"
#include "links/LinkTrace.h"
#include "links/RawLine.h"
#include "core/LiveOptions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace ql;
using namespace ql::test;

namespace {

QByteArray Tunnel(const QByteArray& payload)
{
    uint8_t frame[kMaxFrameSize];
    const int n = BuildTunnelFrame(U8(payload), int(payload.size()), frame);
    return QByteArray(reinterpret_cast<const char*>(frame), n);
}

QByteArray Reply(uint8_t command, uint32_t result, const QByteArray& data)
{
    uint8_t frame[kMaxFrameSize];
    const int n = BuildReplyFrame(command, result, U8(data), int(data.size()), frame);
    return QByteArray(reinterpret_cast<const char*>(frame), n);
}

QByteArray Counting(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char(i + 1));
    return bytes;
}

class ComLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(far.Valid());
        options.UseComPort = true;
        options.SetComPortName(far.SlavePath());
    }

    TPtyFarEnd far;
    TLiveOptions options;
    TDeviceChannel channel{options};
    TDevEntry device{4242, lkComPort};
};

}  // namespace

// Before any binding (this file's first test): every operation on a driver library that
// is not bound fails at once.
TEST(UnboundLibraries, EveryOperationFailsAtOnce)
{
    if (FtdiLibrary().Available || QlusbLibrary().Available)
        GTEST_SKIP() << "a library was bound earlier in this process";
    TLiveOptions options;
    TDeviceChannel channel(options);
    for (int kind : {int(lkFtdi), int(lkMakerUsb)}) {
        TDevEntry device(QByteArray("1234567"), 1, kind);
        EXPECT_FALSE(channel.OpenLink(device));
        uint8_t buffer[16] = {};
        int written = 7;
        EXPECT_FALSE(channel.WriteLink(device, buffer, 4, written));
        EXPECT_EQ(written, 0);
        EXPECT_EQ(channel.ReadLink(device, buffer, 1000, sizeof buffer), 0);
        channel.CloseLink(device);
        EXPECT_EQ(device.FtdiHandle, nullptr);
        EXPECT_EQ(device.QlusbHandle, 0u);
    }
}

TEST_F(ComLink, WriteLinkSendsOneTunnelFrameAndReportsThePayload)
{
    ASSERT_TRUE(channel.OpenLink(device));
    int written = 0;
    const QByteArray five = Counting(5);
    ASSERT_TRUE(channel.WriteLink(device, U8(five), 5, written));
    EXPECT_EQ(written, 5);
    const QByteArray frame = far.Receive();
    EXPECT_EQ(frame.size(), 15);
    EXPECT_EQ(Spaced(frame), Spaced(Tunnel(five)));

    const QByteArray tooLong = Counting(91);
    EXPECT_FALSE(channel.WriteLink(device, U8(tooLong), 91, written));
    EXPECT_EQ(written, 0);
    EXPECT_TRUE(far.Receive().isEmpty());
    channel.CloseLink(device);
    EXPECT_FALSE(channel.ComIsOpen());
}

TEST_F(ComLink, RepliesAreUnwrappedOnlyWhenTheyAreOneWholeFrameWithData)
{
    const QByteArray six = Hex("10 20 30 40 50 60");
    const QByteArray good = Reply(0xF0, 0, six);
    ASSERT_EQ(good.size(), 20);
    QByteArray badCrc = good;
    badCrc[badCrc.size() - 1] = char(badCrc.back() ^ 0x01);
    struct TCase {
        const char* Name;
        QByteArray Wire;
        QByteArray Delivered;
    } cases[] = {
        {"a 20-byte frame delivers its offsets 12 to 17", good, six},
        {"a frame of 14 bytes carries no reply data", Reply(0xF0, 0, {}), {}},
        {"two frames in one read", good + good, {}},
        {"a stray byte before the frame", QByteArray(1, '\x55') + good, {}},
        {"a frame with a wrong CRC", badCrc, {}},
        {"half a frame", good.left(12), {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_TRUE(channel.OpenLink(device));
        far.Send(c.Wire);
        uint8_t buffer[1024];
        const int got = channel.ReadLink(device, buffer, 150, sizeof buffer);
        EXPECT_EQ(Spaced(QByteArray(reinterpret_cast<char*>(buffer), got)), Spaced(c.Delivered));
        channel.CloseLink(device);
    }
}

TEST_F(ComLink, AReadEndsWithItsFrameAndLeavesWhatFollowsOnTheLine)
{
    // The far end sends Wire and, the moment the read has taken it, Then: well within the
    // 2 ms interval, so a read that waited out the interval behind a whole frame would
    // take Then as well and spoil its reply. What the read leaves is the next read's.
    const QByteArray six = Hex("10 20 30 40 50 60");
    const QByteArray good = Reply(0xF0, 0, six);
    const QByteArray serial = Reply(0x0A, 0, Hex("87 D6 12 00"));
    const QByteArray stray = Hex("55 AA 55 AA");
    QByteArray badCrc = good;
    badCrc[badCrc.size() - 1] = char(badCrc.back() ^ 0x01);
    struct TCase {
        const char* Name;
        TComMode Mode;
        QByteArray Wire;
        QByteArray Then;
        QByteArray Delivered;
        int LeftOnLine;
    } cases[] = {
        {"a whole reply frame ends the read", TComMode::Tunnel, good, stray, six, 4},
        {"a whole raw frame ends the read", TComMode::Raw, serial, stray, serial, 4},
        {"half a frame waits for the rest", TComMode::Tunnel, good.left(12), good.mid(12), six, 0},
        {"a frame without reply data waits on", TComMode::Tunnel, Reply(0xF0, 0, {}), good, {}, 0},
        {"a frame with a wrong CRC waits on", TComMode::Tunnel, badCrc, stray, {}, 0},
        {"a stray byte before a whole frame", TComMode::Tunnel, stray.left(1) + good, stray, {}, 0},
        {"a frame and a byte more in one piece", TComMode::Tunnel, good + stray.left(1), {}, {}, 0},
        {"nothing", TComMode::Tunnel, {}, {}, {}, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const bool raw = c.Mode == TComMode::Raw;
        ASSERT_TRUE(raw ? channel.ComOpen() : channel.OpenLink(device));
        far.Send(c.Wire);
        ASSERT_TRUE(far.WaitUnread(int(c.Wire.size())));
        std::thread farEnd([&] {
            if (far.WaitUnread(0))
                far.Send(c.Then);
        });
        uint8_t buffer[kMaxFrameSize];
        const int got = raw ? channel.ComRead(buffer, sizeof buffer, 150, TComMode::Raw)
                            : channel.ReadLink(device, buffer, 150, sizeof buffer);
        farEnd.join();
        EXPECT_EQ(Spaced(QByteArray(reinterpret_cast<char*>(buffer), got)), Spaced(c.Delivered));
        EXPECT_TRUE(far.WaitUnread(c.LeftOnLine)) << far.Unread() << " bytes unread";
        if (raw)
            channel.ComClose();
        else
            channel.CloseLink(device);
    }
}

TEST_F(ComLink, AReplyLargerThanTheCallersBufferIsCutToIt)
{
    // The erase and write replies are read with room for 14 bytes; a device that answers
    // with more must not be able to write past it.
    ASSERT_TRUE(channel.OpenLink(device));
    far.Send(Reply(0xF0, 0, Counting(40)));
    uint8_t buffer[14 + 8];
    std::fill(std::begin(buffer), std::end(buffer), uint8_t(0xAA));
    EXPECT_EQ(channel.ReadLink(device, buffer, 150, 14), 14);
    EXPECT_EQ(Spaced(QByteArray(reinterpret_cast<char*>(buffer), 14)), Spaced(Counting(14)));
    EXPECT_EQ(buffer[14], 0xAA);
}

TEST_F(ComLink, SendDataSplitsIntoTunnelFramesByTheDevicesLink)
{
    const QByteArray data = Counting(150);
    struct TCase {
        int32_t Kind;
        std::vector<int> Pieces;
    } cases[] = {{lkComPort, {90, 60}}, {lkFtdi, {64, 64, 22}}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Kind);
        TDevEntry entry(4242, c.Kind);
        ASSERT_TRUE(channel.OpenLink(entry));
        ASSERT_TRUE(channel.SendData(entry, U8(data), int(data.size())));
        QByteArray expected;
        int at = 0;
        for (int piece : c.Pieces) {
            expected += Tunnel(data.mid(at, piece));
            at += piece;
        }
        EXPECT_EQ(Spaced(far.Receive()), Spaced(expected));
        channel.CloseLink(entry);
    }
}

TEST_F(ComLink, OpeningTheOpenPortKeepsItsHandle)
{
    ASSERT_TRUE(channel.OpenLink(device));
    ASSERT_TRUE(channel.OpenLink(device));
    int written = 0;
    EXPECT_TRUE(channel.WriteLink(device, U8(Counting(3)), 3, written));
    EXPECT_EQ(far.Receive().size(), 13);

    // The port is held exclusively: another handle cannot take it meanwhile.
    TDeviceChannel other(options);
    EXPECT_FALSE(other.ComOpen());
    channel.CloseLink(device);
    EXPECT_TRUE(other.ComOpen());
    other.ComClose();
}

TEST_F(ComLink, WithTheComOptionEveryDeviceOpensThePort)
{
    TDevEntry ftdi(QByteArray("1234567"), kNoUsbNumber, lkFtdi);
    ASSERT_TRUE(channel.OpenLink(ftdi));
    EXPECT_TRUE(channel.ComIsOpen());
    EXPECT_EQ(ftdi.FtdiHandle, nullptr);
    channel.CloseLink(ftdi);
    EXPECT_FALSE(channel.ComIsOpen());

    options.SetComPortName(far.SlavePath() + "-missing");
    EXPECT_FALSE(channel.OpenLink(ftdi));
    EXPECT_FALSE(channel.ComIsOpen());
}

namespace {

// Answers one request on the far end: waits for it, keeps it, sends the reply.
struct TOneAnswer {
    TOneAnswer(TPtyFarEnd& far, qsizetype requestLength, QByteArray reply)
        : thread([&far, requestLength, reply, this] {
              Request = far.Receive(2500, requestLength);
              if (!reply.isEmpty())
                  far.Send(reply);
          })
    {
    }
    ~TOneAnswer() { Finish(); }
    // The request as it arrived, once the reply is out.
    QByteArray Finish()
    {
        if (thread.joinable())
            thread.join();
        return Request;
    }
    QByteArray Request;
    std::thread thread;
};

QByteArray Le32(uint32_t value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

}  // namespace

TEST_F(ComLink, FixedRequestsAndTheirAnswers)
{
    const QByteArray serialRequest = Hex("FE FF FF FF FF 0B 00 00 0A 17 FF");
    const QByteArray startRequest = Hex("FE FF FF FF FF 0A 00 EF 60 C9");
    // The serial number, or 1 for a loader start that was accepted.
    const auto serial = [this] { TDevEntry probe; return channel.RequestSerialNumber(probe); };
    const auto start = [this] { TDevEntry probe; return uint32_t(channel.RequestLoaderStart(probe)); };
    struct TCase {
        const char* Name;
        std::function<uint32_t()> Call;
        QByteArray Request;
        QByteArray Reply;
        uint32_t Result;
    } cases[] = {
        {"serial: valid answer", serial, serialRequest, Reply(0x0A, 0, Le32(1234567)), 1234567},
        {"serial: result code 1", serial, serialRequest, Reply(0x0A, 1, Le32(1234567)), 0},
        {"serial: one extra data byte, length 19", serial, serialRequest,
         Reply(0x0A, 0, Le32(1234567) + "\x01"), 0},
        {"serial: answer to another command", serial, serialRequest, Reply(0x0B, 0, Le32(1234567)), 0},
        {"start: result 0", start, startRequest, Reply(0xEF, 0, {}), 1},
        {"start: the command byte is not looked at", start, startRequest, Reply(0x01, 0, {}), 1},
        {"start: result 2", start, startRequest, Reply(0xEF, 2, {}), 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TOneAnswer answer(far, c.Request.size(), c.Reply);
        EXPECT_EQ(c.Call(), c.Result);
        EXPECT_EQ(Spaced(answer.Finish()), Spaced(c.Request));
        EXPECT_FALSE(channel.ComIsOpen());
    }
}

TEST_F(ComLink, FixedRequestsWithoutAnAnswerFailAfterTheirTimeOut)
{
    TDevEntry probe;
    EXPECT_EQ(channel.RequestSerialNumber(probe), 0u);
    EXPECT_FALSE(channel.ComIsOpen());
    EXPECT_FALSE(channel.RequestLoaderStart(probe));
    EXPECT_FALSE(channel.ComIsOpen());
    // The port could not be opened: nothing is sent at all.
    options.SetComPortName(far.SlavePath() + "-missing");
    EXPECT_EQ(channel.RequestSerialNumber(probe), 0u);
}

TEST_F(ComLink, TraceShowsEveryRequestAndReplyWhenSwitchedOn)
{
    EXPECT_FALSE(lcLink().isDebugEnabled()) << "the trace is off by default";
    TLinkTraceCapture trace;

    ASSERT_TRUE(channel.OpenLink(device));
    int written = 0;
    channel.WriteLink(device, U8(Hex("0E 00 0E 00")), 4, written);
    far.Receive();
    far.Send(Reply(0xF0, 0, Hex("AB CD")));
    uint8_t buffer[64];
    EXPECT_EQ(channel.ReadLink(device, buffer, 150, sizeof buffer), 2);
    channel.CloseLink(device);

    EXPECT_EQ(trace.Lines(), (QStringList{"-> device 4242 com [4] 0e 00 0e 00",
                                          "<- device 4242 com [2] ab cd"}));
}

namespace {

// Runs in a working folder of its own, which holds a regular file at the path that a
// name taken relative to the working folder would reach ("pts/N").
class ComPortNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(far.Valid());
        ASSERT_TRUE(work.isValid());
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(work.path()));
        ASSERT_TRUE(far.SlavePath().startsWith("/dev/pts/"));
        ASSERT_TRUE(QDir(work.path()).mkpath("pts"));
        ASSERT_TRUE(WriteFileBytes(work.filePath(RelativeName()), "not a port"));
        ASSERT_TRUE(WriteFileBytes(work.filePath("file"), "not a port"));
    }
    void TearDown() override { QDir::setCurrent(previous); }
    QString RelativeName() const { return far.SlavePath().mid(int(strlen(kDeviceFolder))); }

    TPtyFarEnd far;
    QTemporaryDir work;
    QString previous;
};

}  // namespace

TEST_F(ComPortNames, ANameIsADeviceUnderDevAndAPathIsUsedAsTyped)
{
    EXPECT_EQ(ComPortDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(ComPortDevicePath("pts/3"), "/dev/pts/3");
    EXPECT_EQ(ComPortDevicePath("/dev/ttyS0"), "/dev/ttyS0");
    EXPECT_EQ(ComPortDevicePath(""), "");

    const QString missing = QStringLiteral("ttyQLnone%1").arg(getpid());
    struct TCase {
        QString Name;
        bool Opens;
        TComPortFault::TStage Stage;
        int Error;
    } cases[] = {
        {RelativeName(), true, TComPortFault::None, 0},
        {far.SlavePath(), true, TComPortFault::None, 0},
        {missing, false, TComPortFault::Open, ENOENT},
        {work.path(), false, TComPortFault::Open, EISDIR},
        {work.filePath("file"), false, TComPortFault::Exclusive, ENOTTY},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name.toStdString());
        TLiveOptions options;
        options.UseComPort = true;
        options.SetComPortName(c.Name);
        TDeviceChannel channel(options);
        TDevEntry device(4242, lkComPort);
        TComPortFault fault;
        ASSERT_EQ(channel.OpenLink(device, &fault), c.Opens);
        EXPECT_EQ(fault.Stage, c.Stage);
        EXPECT_EQ(fault.Error, c.Error);
        if (!c.Opens) {
            EXPECT_EQ(fault.Path, ComPortDevicePath(c.Name));
            EXPECT_FALSE(channel.ComIsOpen());
            continue;
        }
        // The bytes reach the tracker's end of the pseudo-terminal, not a file.
        int written = 0;
        ASSERT_TRUE(channel.WriteLink(device, U8(Counting(3)), 3, written));
        EXPECT_EQ(far.Receive().size(), 13);
        channel.CloseLink(device);
    }
    EXPECT_EQ(ReadFileBytes(work.filePath(RelativeName())), "not a port");
}

TEST_F(ComLink, APortHeldByAnotherHandleIsBusy)
{
    TDeviceChannel other(options);
    ASSERT_TRUE(other.ComOpen());
    TComPortFault fault;
    EXPECT_FALSE(channel.OpenLink(device, &fault));
    EXPECT_EQ(fault.Stage, TComPortFault::Open);
    EXPECT_EQ(fault.Error, EBUSY);
    EXPECT_EQ(fault.Reason, SystemErrorText(EBUSY));
}

// Opening a device the user may not use: the reason, and the group that gives access.
// Tried by a child process without privileges, since root may open anything.
TEST(ComPortAccess, APermissionRefusedNamesTheGroupThatOwnsTheDevice)
{
    constexpr uid_t kNobody = 65534;
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.filePath("ttyLocked");
    ASSERT_TRUE(WriteFileBytes(path, ""));
    // As root the device belongs to dialout, as serial ports do, and the child is nobody;
    // otherwise the device is the user's own, with no permission for anyone.
    const bool root = getuid() == 0;
    group* dialout = root ? getgrnam("dialout") : nullptr;
    if (dialout) {
        ASSERT_EQ(chown(path.toLocal8Bit().constData(), 0, dialout->gr_gid), 0);
    }
    const QString ownerName = dialout ? QStringLiteral("dialout") : OwningGroupName(path);
    ASSERT_EQ(chmod(path.toLocal8Bit().constData(), root ? 0660 : 0), 0);
    ASSERT_EQ(chmod(folder.path().toLocal8Bit().constData(), 0755), 0);

    int results[2];
    ASSERT_EQ(pipe(results), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (root && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
            _exit(2);
        TComPort port;
        TComPortFault fault;
        const bool opened = port.Open(path, &fault);
        const QByteArray report =
            QByteArray::number(opened) + '\n' + QByteArray::number(fault.Error) + '\n' + fault.AccessGroup.toUtf8();
        const ssize_t sent = write(results[1], report.constData(), size_t(report.size()));
        _exit(sent == report.size() ? 0 : 3);
    }
    close(results[1]);
    QByteArray report;
    char buffer[256];
    for (ssize_t n; (n = read(results[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, n);
    close(results[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(report, "0\n" + QByteArray::number(EACCES) + '\n' + ownerName.toUtf8());
}

// The one raw-line set-up of the COM port (115200) and the bridges' kernel tty (its own
// speed), on a pseudo-terminal that starts out cooked at 9600 baud.
TEST(RawLine, RawEightNOneAtTheSpeedAskedForOrTheOneItHas)
{
    struct TCase {
        const char* Name;
        int Baud;
        bool Set;
        speed_t Speed;
    } cases[] = {
        {"the COM port's 115200", kComBaudRate, true, B115200},
        {"a bridge's tty keeps its speed", kKeepLineSpeed, true, B9600},
        {"a rate the system does not name", 12345, false, B9600},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TPtyFarEnd far;
        ASSERT_TRUE(far.Valid());
        const int fd = ::open(far.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        termios cooked{};
        ASSERT_EQ(tcgetattr(fd, &cooked), 0);
        cooked.c_lflag |= ICANON | ECHO;
        cooked.c_cc[VMIN] = 1;
        cfsetspeed(&cooked, B9600);
        ASSERT_EQ(tcsetattr(fd, TCSANOW, &cooked), 0);

        EXPECT_EQ(SetRawLine(fd, c.Baud), c.Set);
        termios line{};
        ASSERT_EQ(tcgetattr(fd, &line), 0);
        EXPECT_EQ(cfgetospeed(&line), c.Speed);
        EXPECT_EQ(cfgetispeed(&line), c.Speed);
        if (c.Set) {
            EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0u);
            EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
            EXPECT_EQ(line.c_iflag & (IXON | IXOFF), 0u);
            EXPECT_EQ(line.c_cc[VMIN], 0);
            EXPECT_EQ(line.c_cc[VTIME], 0);
        }
        ::close(fd);
    }
    // Not a terminal at all.
    QTemporaryDir dir;
    QFile file(dir.filePath("plain"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_FALSE(SetRawLine(file.handle(), kComBaudRate));
}

TEST(ComPortFaultTexts, ThePortTheReasonAndWhatGivesAccessInBothLanguages)
{
    const auto fault = [](TComPortFault::TStage stage, int error, const char* group = "") {
        TComPortFault f;
        f.Stage = stage;
        f.Path = "/dev/ttyUSB0";
        f.Error = error;
        f.Reason = SystemErrorText(error);
        f.AccessGroup = group;
        return f;
    };
    const QString denied = SystemErrorText(EACCES);
    const QString noTty = SystemErrorText(ENOTTY);
    const QString io = SystemErrorText(EIO);
    struct TCase {
        int Language;
        TComPortFault Fault;
        QStringList Texts;
    } cases[] = {
        {kEnglish, fault(TComPortFault::Open, EACCES, "dialout"),
         {"COM port /dev/ttyUSB0 cannot be opened: " + denied,
          "Access to /dev/ttyUSB0 is given by membership of the group \"dialout\": add the user to this group, "
          "then log in again"}},
        {kRussian, fault(TComPortFault::Open, EACCES, "uucp"),
         {QString::fromUtf8("COM-порт /dev/ttyUSB0 не открывается: ") + denied,
          QString::fromUtf8("Доступ к /dev/ttyUSB0 дают права группы \"uucp\": добавьте пользователя в эту группу "
                            "и войдите в систему заново")}},
        {kEnglish, fault(TComPortFault::Exclusive, ENOTTY),
         {"COM port /dev/ttyUSB0 does not allow exclusive use: " + noTty}},
        {kRussian, fault(TComPortFault::Exclusive, ENOTTY),
         {QString::fromUtf8("COM-порт /dev/ttyUSB0 не допускает монопольного доступа: ") + noTty}},
        {kEnglish, fault(TComPortFault::Line, EIO), {"COM port /dev/ttyUSB0 failed: " + io}},
        {kRussian, fault(TComPortFault::Line, EIO), {QString::fromUtf8("Отказ COM-порта /dev/ttyUSB0: ") + io}},
        {kEnglish, fault(TComPortFault::None, 0), {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Texts.join(" | ").toStdString());
        SetCurrentLanguage(c.Language);
        EXPECT_EQ(ComPortFaultTexts(c.Fault), c.Texts);
    }
    SetCurrentLanguage(kEnglish);
    // A discovery pass keeps quiet about an absent port and one its own session holds.
    EXPECT_FALSE(PassReportsComPortFault(fault(TComPortFault::Open, ENOENT)));
    EXPECT_FALSE(PassReportsComPortFault(fault(TComPortFault::Session, EBUSY)));
    EXPECT_TRUE(PassReportsComPortFault(fault(TComPortFault::Open, EACCES, "dialout")));
    EXPECT_TRUE(PassReportsComPortFault(fault(TComPortFault::Exclusive, ENOTTY)));
}

TEST_F(ComLink, ASessionHoldsThePortAgainstEveryOtherUser)
{
    TDevEntry session(5001, lkComPort);
    TDevEntry other(5002, lkComPort);
    TDevEntry probe;
    ASSERT_TRUE(channel.HoldComPort(session));
    EXPECT_FALSE(channel.HoldComPort(other)) << "a second session took the port";
    EXPECT_TRUE(channel.ComHeldBySession());

    // Held before it is even open: nobody else opens it.
    TComPortFault fault;
    EXPECT_FALSE(channel.OpenLink(probe, &fault));
    EXPECT_EQ(fault.Stage, TComPortFault::Session);
    EXPECT_FALSE(channel.ComIsOpen());

    ASSERT_TRUE(channel.OpenLink(session));
    EXPECT_EQ(channel.RequestSerialNumber(probe, &fault), 0u);
    EXPECT_EQ(fault.Stage, TComPortFault::Session);
    int written = 0;
    EXPECT_FALSE(channel.WriteLink(probe, U8(Counting(3)), 3, written));
    uint8_t buffer[64];
    far.Send(Reply(0xF0, 0, Hex("AB CD")));
    EXPECT_EQ(channel.ReadLink(probe, buffer, 50, sizeof buffer), 0) << "another entry read the session's reply";
    channel.CloseLink(probe);
    channel.ComClose();
    EXPECT_TRUE(channel.ComIsOpen()) << "the port was closed under the session";
    EXPECT_EQ(channel.ReadLink(session, buffer, 150, sizeof buffer), 2);
    EXPECT_TRUE(far.Receive().isEmpty()) << "a request went out on the session's line";

    channel.CloseLink(session);
    EXPECT_FALSE(channel.ComIsOpen());
    channel.ReleaseComPort(session);
    EXPECT_FALSE(channel.ComHeldBySession());
    EXPECT_TRUE(channel.OpenLink(probe));
    channel.CloseLink(probe);
}

TEST_F(ComLink, ASessionOpensThePortOnceAPassExchangeHasLeftIt)
{
    TDevEntry session(5001, lkComPort);
    TDevEntry probe;
    ASSERT_TRUE(channel.OpenLink(probe));  // a pass's request is on the line
    ASSERT_TRUE(channel.HoldComPort(session));
    bool opened = false;
    std::thread sessionThread([&] { opened = channel.OpenLink(session); });
    channel.CloseLink(probe);
    sessionThread.join();
    ASSERT_TRUE(opened);
    int written = 0;
    EXPECT_TRUE(channel.WriteLink(session, U8(Counting(3)), 3, written));
    EXPECT_EQ(far.Receive().size(), 13);
    channel.CloseLink(session);
    channel.ReleaseComPort(session);
}

TEST_F(ComLink, APortThatHangsUpFailsAtOnceAndSaysWhy)
{
    ASSERT_TRUE(channel.OpenLink(device));
    EXPECT_EQ(channel.ComLineFault(device).Stage, TComPortFault::None);
    far.HangUp();
    uint8_t buffer[64];
    EXPECT_EQ(channel.ReadLink(device, buffer, 6000, sizeof buffer), 0);
    int written = 0;
    EXPECT_FALSE(channel.WriteLink(device, U8(Counting(3)), 3, written));
    const TComPortFault fault = channel.ComLineFault(device);
    EXPECT_EQ(fault.Stage, TComPortFault::Line);
    EXPECT_EQ(fault.Path, far.SlavePath());
    EXPECT_FALSE(fault.Reason.isEmpty());
    channel.CloseLink(device);
    EXPECT_FALSE(channel.ComIsOpen());
}
