#pragma once
// Discovery on the window's side: StartDiscovery (at most one pass at a time; a request
// while one runs is dropped) and MergeDiscovery, which takes a finished pass into the
// device list and the view: vanished devices go, new ones get their panels and log lines,
// and automatic writing starts a session for each new device in its bootloader.

#include "app/DeviceView.h"

#include <QObject>

#include <memory>

namespace ql {

class TDeviceChannel;
class TReadVersion;
class TWriteController;

class TDiscoveryController : public QObject {
public:
    TDiscoveryController(TDeviceView& view, const TDeviceContext& context, TDeviceChannel& channel,
                         TWriteController& writes, QObject* parent = nullptr);
    ~TDiscoveryController() override;

    void StartDiscovery();
    // UI thread, when the pass's thread has done its work.
    void MergeDiscovery();
    // Window destruction: asks a running pass to stop and waits for it.
    void Stop();
    bool PassRunning() const { return pass_ != nullptr; }
    // How many passes have ended and been merged: a short pass may start and end between
    // two looks at PassRunning, never between two looks at this count.
    int PassesEnded() const { return passesEnded_; }

private:
    void StartPassAskedMeanwhile();

    TDeviceView& view_;
    TDeviceContext context_;
    TDeviceChannel& channel_;
    TWriteController& writes_;
    std::unique_ptr<TReadVersion> pass_;  // DiscoveryThread
    bool passAgain_ = false;              // a pass was asked for while this one ran
    int passesEnded_ = 0;
};

}  // namespace ql
