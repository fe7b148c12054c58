#pragma once
// What the service thread waits on at each turn: the poll list it builds (the wake-up
// pipe, the listening socket, every stand-in connection and tracker line), waited on as an
// epoll set kept in step with that list. poll() looks at every descriptor at every
// wake-up, which with a rack of 128 trackers was most of the thread's time; the set is
// changed only where the list changed, and a wake-up costs what is ready.

#include <poll.h>

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace ql::sim {

class TReadySet {
public:
    TReadySet();
    ~TReadySet();
    TReadySet(const TReadySet&) = delete;
    TReadySet& operator=(const TReadySet&) = delete;

    // Brings the set in step with this turn's list. Called under the lock that also guards
    // closing those descriptors, so a descriptor is never added while another thread
    // closes it; the wait itself needs no lock. owners names what each descriptor belongs
    // to (a descriptor closed and its number given to something else is watched anew).
    void Watch(const std::vector<pollfd>& fds, const std::vector<uint64_t>& owners);
    // Waits up to timeoutUs for one of the watched descriptors to be readable (or to hang
    // up) and sets the revents of those that are, as ppoll() would. Falls back to ppoll()
    // where no epoll set could be made.
    void Wait(std::vector<pollfd>& fds, int64_t timeoutUs);

private:
    int epoll_ = -1;
    std::unordered_map<int, uint64_t> watched_;  // descriptor: its owner when added
    std::unordered_map<int, size_t> index_;      // descriptor: its place in this turn's list
};

}  // namespace ql::sim
