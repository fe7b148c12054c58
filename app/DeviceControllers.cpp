#include "app/DeviceControllers.h"

#include "app/Discovery.h"
#include "app/MainForm.h"
#include "app/WriteSessions.h"
#include "links/DeviceChannel.h"

namespace ql {

TDeviceControllers::TDeviceControllers(TDeviceView& view, const TDeviceContext& context, QObject* parent)
    : QObject(parent), channel_(std::make_unique<TDeviceChannel>(context.Live)),
      writes_(std::make_unique<TWriteController>(view, context, *channel_)),
      discovery_(std::make_unique<TDiscoveryController>(view, context, *channel_, *writes_))
{
}

TDeviceControllers::~TDeviceControllers()
{
    discovery_.reset();
    writes_.reset();
}

void TDeviceControllers::StartDiscovery() { discovery_->StartDiscovery(); }

void TDeviceControllers::UpdateButtonClick(TDevEntry& entry) { writes_->UpdateButtonClick(entry); }

void TDeviceControllers::StopThreads()
{
    discovery_->Stop();
    writes_->Stop();
}

void TDeviceControllers::CloseLink(TDevEntry& entry) { channel_->CloseLink(entry); }

TDeviceControllers& InstallDeviceControllers(TMainForm& form)
{
    auto* controllers = new TDeviceControllers(form, form.DeviceContext(), &form);
    form.SetCommands(controllers);
    return *controllers;
}

}  // namespace ql
