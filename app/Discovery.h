#pragma once
// The window's side of discovery: StartDiscovery (at most one pass at a time; a request
// while one runs is dropped) and MergeDiscovery, which takes a finished pass into the
// window: vanished devices go, new ones get their panels and log lines, and automatic
// writing presses the button of each new device in its bootloader.

#include <QObject>

#include <memory>

namespace ql {

class TDeviceChannel;
class TMainForm;
class TReadVersion;
class TWriteController;

class TDiscoveryController : public QObject {
public:
    TDiscoveryController(TMainForm& form, TDeviceChannel& channel, TWriteController& writes,
                         QObject* parent = nullptr);
    ~TDiscoveryController() override;

    void StartDiscovery();
    // UI thread, when the pass's thread has done its work.
    void MergeDiscovery();
    // Window destruction: asks a running pass to stop and waits for it.
    void Stop();
    bool PassRunning() const { return pass_ != nullptr; }

private:
    TMainForm& form_;
    TDeviceChannel& channel_;
    TWriteController& writes_;
    std::unique_ptr<TReadVersion> pass_;  // DiscoveryThread
};

}  // namespace ql
