#pragma once
// The window's write sessions: the panel button's handler, the start of a session on its
// own thread, and the end report on the UI thread with the automatic close and the
// removal of a device that vanished while it was written.

#include <QObject>

#include <memory>
#include <vector>

namespace ql {

class TDeviceChannel;
class TMainForm;
class TWriteThread;
struct TDevEntry;

class TWriteController : public QObject {
public:
    TWriteController(TMainForm& form, TDeviceChannel& channel, QObject* parent = nullptr);
    ~TWriteController() override;

    // The entry's panel button was pressed (by the user or by automatic writing).
    void UpdateButtonClick(TDevEntry& entry);
    void StartWrite(TDevEntry& device);
    // UI thread, when the session's thread has done its work.
    void WriteFinished(TWriteThread* thread);
    // Window destruction: asks every session to stop and waits for all of them.
    void Stop();
    int RunningCount() const { return int(threads_.size()); }

private:
    TMainForm& form_;
    TDeviceChannel& channel_;
    std::vector<std::unique_ptr<TWriteThread>> threads_;
};

}  // namespace ql
