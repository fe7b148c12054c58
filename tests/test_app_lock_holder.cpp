// Helper for the instance-lock tests: takes the lock named by its argument, says "held"
// on standard output and keeps it until it is killed. Says "busy" and ends with 1 when
// the lock is taken already.

#include "platform/InstanceLock.h"

#include <QThread>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    ql::TInstanceLock lock(QString::fromLocal8Bit(argv[1]));
    if (!lock.Acquire()) {
        std::puts("busy");
        return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    for (;;)
        QThread::sleep(60);
}
