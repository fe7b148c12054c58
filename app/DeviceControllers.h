#pragma once
// Discovery and write sessions wired into the window: the one device channel of the
// program (with its COM port), the two controllers, and the window's hooks pointing at
// them. Owned by the window as a child object, so it outlives the window's destruction
// sequence, which stops every thread through it.

#include <QObject>

#include <memory>

namespace ql {

class TDeviceChannel;
class TDiscoveryController;
class TMainForm;
class TWriteController;

class TDeviceControllers : public QObject {
public:
    explicit TDeviceControllers(TMainForm& form);
    ~TDeviceControllers() override;

    TDiscoveryController& Discovery() { return *discovery_; }
    TWriteController& Writes() { return *writes_; }

private:
    std::unique_ptr<TDeviceChannel> channel_;
    std::unique_ptr<TWriteController> writes_;
    std::unique_ptr<TDiscoveryController> discovery_;
};

// Creates the controllers as a child of the window and installs its hooks.
TDeviceControllers& InstallDeviceControllers(TMainForm& form);

}  // namespace ql
