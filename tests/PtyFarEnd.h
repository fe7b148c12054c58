#pragma once
// The far end of a pseudo-terminal, played by a test: the loader opens the slave as its
// COM port, the test reads what arrives on the master and writes the replies there.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace ql::test {

class TPtyFarEnd {
public:
    TPtyFarEnd()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            return;
        slavePath_ = QString::fromLocal8Bit(ptsname(master_));
        // Held open so the master never sees a hang-up between the loader's opens.
        keepOpen_ = ::open(slavePath_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        tcgetattr(keepOpen_, &tio);
        cfmakeraw(&tio);
        tcsetattr(keepOpen_, TCSANOW, &tio);
    }
    ~TPtyFarEnd()
    {
        if (keepOpen_ >= 0)
            ::close(keepOpen_);
        if (master_ >= 0)
            ::close(master_);
    }
    TPtyFarEnd(const TPtyFarEnd&) = delete;
    TPtyFarEnd& operator=(const TPtyFarEnd&) = delete;

    bool Valid() const { return master_ >= 0 && keepOpen_ >= 0; }
    // The tracker's end goes away, as when the adapter is unplugged.
    void HangUp()
    {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }
    QString SlavePath() const { return slavePath_; }

    void Send(const QByteArray& bytes) const
    {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                return;
            done += n;
        }
    }

    // Bytes sent to the loader's end that no read there has taken yet.
    int Unread() const
    {
        int count = 0;
        return ::ioctl(keepOpen_, FIONREAD, &count) == 0 ? count : -1;
    }
    // Waits (limitMs at most) until exactly count bytes wait unread at the loader's end;
    // sent bytes reach it a moment after the write.
    bool WaitUnread(int count, int limitMs = 2000) const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (Unread() != count) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        return true;
    }

    // What arrived, collecting until quietMs pass without a byte (or count bytes came).
    QByteArray Receive(int quietMs = 50, qsizetype count = -1) const
    {
        QByteArray got;
        char buffer[4096];
        pollfd p{master_, POLLIN, 0};
        while ((count < 0 || got.size() < count) && poll(&p, 1, quietMs) > 0) {
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, n);
        }
        return got;
    }

private:
    int master_ = -1;
    int keepOpen_ = -1;
    QString slavePath_;
};

}  // namespace ql::test
