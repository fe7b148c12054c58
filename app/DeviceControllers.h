#pragma once
// Discovery and write sessions for the window: the one device channel of the program (with
// its COM port) and the two controllers, which call each other directly and reach the
// window only as their view. The window reaches them as its TDeviceCommands. Owned by the
// window as a child object, so it outlives the window's destruction sequence, which stops
// every thread through it.

#include "app/DeviceView.h"

#include <QObject>

#include <memory>

namespace ql {

class TDeviceChannel;
class TDiscoveryController;
class TMainForm;
class TWriteController;

class TDeviceControllers : public QObject, public TDeviceCommands {
public:
    TDeviceControllers(TDeviceView& view, const TDeviceContext& context, QObject* parent);
    ~TDeviceControllers() override;

    TDiscoveryController& Discovery() { return *discovery_; }
    TWriteController& Writes() { return *writes_; }

    void StartDiscovery() override;
    void UpdateButtonClick(TDevEntry& entry) override;
    // The pass first: it may ask sessions to stop, and it reads their Writer pointers.
    void StopThreads() override;
    void CloseLink(TDevEntry& entry) override;

private:
    std::unique_ptr<TDeviceChannel> channel_;
    std::unique_ptr<TWriteController> writes_;
    std::unique_ptr<TDiscoveryController> discovery_;
};

// Creates the controllers as a child of the window, which then passes the user's actions
// to them.
TDeviceControllers& InstallDeviceControllers(TMainForm& form);

}  // namespace ql
