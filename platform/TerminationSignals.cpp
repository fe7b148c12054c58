#include "platform/TerminationSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace ql {
namespace {

const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int)
{
    const char byte = 1;
    // A full pipe already holds a request; nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}

}  // namespace

TTerminationSignals::TTerminationSignals(QObject* parent) : QObject(parent) {}

TTerminationSignals::~TTerminationSignals()
{
    if (!installed_)
        return;
    for (const int signal : kSignals)
        std::signal(signal, SIG_DFL);
    delete notifier_;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

bool TTerminationSignals::Install()
{
    if (installed_ || g_pipe[0] >= 0)
        return installed_;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    installed_ = true;
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof(bytes)) > 0) {
        }
        emit Requested();
    });
    struct sigaction action{};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        sigaction(signal, &action, nullptr);
    return true;
}

}  // namespace ql
