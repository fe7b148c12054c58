#pragma once
// TWriteThread: one write session on a thread of its own. The window creates it for a
// device, installs its end handler and starts it; the discovery pass asks it to stop when
// its device has vanished (through the entry's Writer, which knows it only as a session
// control). Destroying it waits for the thread.

#include "writing/WriteSession.h"

#include <functional>
#include <thread>

namespace ql {

class TWriteThread final : public TSessionControl {
public:
    TWriteThread(TDeviceChannel& channel, THandOver& handOver, TLogSink& uiLog, const TLiveOptions& options,
                 TDevEntry& device)
        : Session(channel, handOver, uiLog, options, device)
    {
    }
    ~TWriteThread() { Join(); }
    TWriteThread(const TWriteThread&) = delete;
    TWriteThread& operator=(const TWriteThread&) = delete;

    // Runs the session; finished runs on the session's thread when it is done. The COM
    // port is the session's from here on (in COM-port mode).
    void Start(std::function<void()> finished)
    {
        Session.HoldComPort();
        thread_ = std::thread([this, finished = std::move(finished)] {
            outcome_ = Session.RunSession();
            if (finished)
                finished();
        });
    }
    void Join()
    {
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
            thread_.join();
    }
    // Any thread: the session stops before its next sector.
    void RequestStop() override { Session.RequestStop(); }

    // The session's outcome, once the thread has been joined.
    const TWriteOutcome& Outcome() const { return outcome_; }

    TWriteSession Session;

private:
    TWriteOutcome outcome_;
    std::thread thread_;
};

}  // namespace ql
