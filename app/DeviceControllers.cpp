#include "app/DeviceControllers.h"

#include "app/Discovery.h"
#include "app/MainForm.h"
#include "app/WriteSessions.h"
#include "links/DeviceChannel.h"

namespace ql {

TDeviceControllers::TDeviceControllers(TMainForm& form)
    : QObject(&form), channel_(std::make_unique<TDeviceChannel>(form.LiveOptions())),
      writes_(std::make_unique<TWriteController>(form, *channel_)),
      discovery_(std::make_unique<TDiscoveryController>(form, *channel_, *writes_))
{
    TMainFormHooks hooks;
    hooks.StartDiscovery = [this] { discovery_->StartDiscovery(); };
    hooks.UpdateButtonClick = [this](TDevEntry& entry) { writes_->UpdateButtonClick(entry); };
    // The pass first: it may ask sessions to stop, and it reads their Writer pointers.
    hooks.StopThreads = [this] {
        discovery_->Stop();
        writes_->Stop();
    };
    hooks.CloseLink = [this](TDevEntry& entry) { channel_->CloseLink(entry); };
    form.SetHooks(std::move(hooks));
}

TDeviceControllers::~TDeviceControllers()
{
    discovery_.reset();
    writes_.reset();
}

TDeviceControllers& InstallDeviceControllers(TMainForm& form) { return *new TDeviceControllers(form); }

}  // namespace ql
