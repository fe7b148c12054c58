#pragma once
// Write sessions on the window's side: the panel button's handler (also what automatic
// writing calls), the start of a session on its own thread, and the end report on the UI
// thread with the automatic close and the removal of a device that vanished while it was
// written.

#include "app/DeviceView.h"

#include <QObject>

#include <memory>
#include <vector>

namespace ql {

class TDeviceChannel;
class TWriteThread;
struct TDevEntry;

class TWriteController : public QObject {
public:
    TWriteController(TDeviceView& view, const TDeviceContext& context, TDeviceChannel& channel,
                     QObject* parent = nullptr);
    ~TWriteController() override;

    // The entry's panel button was pressed, or automatic writing asks for the same.
    void UpdateButtonClick(TDevEntry& entry);
    void StartWrite(TDevEntry& device);
    // UI thread, when the session's thread has done its work.
    void WriteFinished(TWriteThread* thread);
    // Window destruction: asks every session to stop and waits for all of them.
    void Stop();
    int RunningCount() const { return int(threads_.size()); }

private:
    TDeviceView& view_;
    TDeviceContext context_;
    TDeviceChannel& channel_;
    std::vector<std::unique_ptr<TWriteThread>> threads_;
};

}  // namespace ql
