#include "sim/ReadySet.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace ql::sim {
namespace {

constexpr int64_t kUsPerSecond = 1000000;
constexpr int64_t kNsPerUs = 1000;
constexpr int kEventsPerWait = 256;

timespec Timeout(int64_t timeoutUs)
{
    return {time_t(timeoutUs / kUsPerSecond), long(timeoutUs % kUsPerSecond) * kNsPerUs};
}

}  // namespace

TReadySet::TReadySet() : epoll_(::epoll_create1(EPOLL_CLOEXEC)) {}

TReadySet::~TReadySet()
{
    if (epoll_ >= 0)
        ::close(epoll_);
}

void TReadySet::Watch(const std::vector<pollfd>& fds, const std::vector<uint64_t>& owners)
{
    if (epoll_ < 0)
        return;
    index_.clear();
    for (size_t i = 0; i < fds.size(); ++i)
        index_[fds[i].fd] = i;
    // A descriptor that left the list, or whose number now belongs to another owner, may
    // still be in the set: epoll drops a file only when every descriptor of it is closed,
    // and the tests keep their own ends of the lines. Its events would then land on
    // whatever has its number now. Such changes come only when a connection or a tracker
    // comes or goes, so the set is simply made anew.
    bool remake = false;
    for (size_t i = 0; i < fds.size() && !remake; ++i) {
        const auto known = watched_.find(fds[i].fd);
        remake = known != watched_.end() && known->second != owners[i];
    }
    for (auto it = watched_.begin(); it != watched_.end() && !remake; ++it)
        remake = index_.count(it->first) == 0;
    if (remake) {
        ::close(epoll_);
        epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
        watched_.clear();
        if (epoll_ < 0)
            return;
    }
    for (size_t i = 0; i < fds.size(); ++i) {
        const int fd = fds[i].fd;
        if (watched_.count(fd))
            continue;
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
        watched_[fd] = owners[i];
    }
}

void TReadySet::Wait(std::vector<pollfd>& fds, int64_t timeoutUs)
{
    const timespec timeout = Timeout(timeoutUs);
    if (epoll_ < 0) {
        ::ppoll(fds.data(), nfds_t(fds.size()), &timeout, nullptr);
        return;
    }
    for (pollfd& p : fds)
        p.revents = 0;
    epoll_event events[kEventsPerWait];
    const int n = ::epoll_pwait2(epoll_, events, kEventsPerWait, &timeout, nullptr);
    for (int e = 0; e < n; ++e) {
        auto at = index_.find(events[e].data.fd);
        if (at == index_.end())
            continue;
        short revents = 0;
        if (events[e].events & EPOLLIN)
            revents |= POLLIN;
        if (events[e].events & EPOLLHUP)
            revents |= POLLHUP;
        if (events[e].events & EPOLLERR)
            revents |= POLLERR;
        fds[at->second].revents = revents;
    }
}

}  // namespace ql::sim
