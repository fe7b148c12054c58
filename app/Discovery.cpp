#include "app/Discovery.h"

#include "app/WriteSessions.h"
#include "devices/ReadVersion.h"
#include "links/DeviceChannel.h"
#include "platform/QueuedCall.h"

#include <QDeadlineTimer>
#include <QLoggingCategory>

namespace ql {
namespace {

// When each pass starts and when its result is on screen, in milliseconds of the system's
// monotonic clock (the same clock in every process), so the time from a plug-in to its
// panel can be measured from outside. Off by default: QT_LOGGING_RULES="ql.discovery.debug=true".
Q_LOGGING_CATEGORY(lcDiscovery, "ql.discovery", QtInfoMsg)

qint64 MonotonicMs() { return QDeadlineTimer::current().deadline(); }

}  // namespace

TDiscoveryController::TDiscoveryController(TDeviceView& view, const TDeviceContext& context, TDeviceChannel& channel,
                                           TWriteController& writes, QObject* parent)
    : QObject(parent), view_(view), context_(context), channel_(channel), writes_(writes)
{
}

TDiscoveryController::~TDiscoveryController() { Stop(); }

void TDiscoveryController::StartDiscovery()
{
    // A device change while a pass runs may come after the pass listed the devices: the
    // request is kept and served by one more pass once this one is merged, so a tracker
    // plugged in meanwhile is not left unseen until the next change.
    if (pass_) {
        passAgain_ = true;
        return;
    }
    qCDebug(lcDiscovery, "pass started at %lld", MonotonicMs());
    pass_ = std::make_unique<TReadVersion>(
        context_.Devices, channel_, context_.HandOver, view_, context_.Live, context_.Options.serial,
        [this](FirmwareList& blocks, TFirmwareVersion& version) { return view_.LoadFirmware(blocks, version); });
    pass_->Start([this] { PostQueued(this, [this] { MergeDiscovery(); }); });
}

void TDiscoveryController::MergeDiscovery()
{
    if (!pass_)
        return;
    pass_->Join();
    ++passesEnded_;
    TReadVersion& pass = *pass_;
    if (pass.ErrorCode != 0) {
        LogDeviceMessage(view_, lkError, 0, msg::SearchError, pass.ElapsedMs, pass.ErrorCode, pass.LastResponseCode);
        pass_.reset();
        StartPassAskedMeanwhile();
        return;
    }
    TDeviceList& list = context_.Devices;
    const int found = int(pass.FoundList.size());
    {
        QMutexLocker locker(&list.Lock);
        for (auto it = list.Entries.begin(); it != list.Entries.end();) {
            TDevEntry& entry = **it;
            // A device being written stays until its session has ended.
            if (entry.Gone.load() && entry.Writer.load() == nullptr) {
                LogDeviceMessage(view_, lkInfo, entry.SerialNumber, msg::DeviceDisconnected);
                view_.DeviceGone(entry);
                it = list.Entries.erase(it);
            } else {
                ++it;
            }
        }
        for (auto& found : pass.FoundList) {
            TDevEntry& entry = *found;
            LogDeviceMessage(view_, lkInfo, entry.SerialNumber, msg::DeviceConnected);
            list.Entries.push_back(std::move(found));
            view_.CreateDevicePanel(entry);
            view_.EnableUpdate(entry, entry.InBootloader);
            LogDeviceMessage(view_, lkInfo, entry.SerialNumber, msg::FirmwareVersionIs,
                             VersionText(entry.FirmwareVersion));
            if (entry.InBootloader)
                LogDeviceMessage(view_, lkInfo, 0, msg::BootloaderVersionIs, VersionText(entry.BootloaderVersion));
            LogDeviceMessage(view_, lkInfo, entry.SerialNumber, msg::ProcessorIdIs, entry.ProcessorId);
            LogDeviceMessage(view_, lkInfo, entry.SerialNumber,
                             entry.InBootloader ? msg::ModeBootloader : msg::ModeFirmware);
            if (!entry.InBootloader && entry.LoaderStarted)
                view_.SetStatus(entry, Msg(msg::ReconnectHint), lkSuccess);
            // What the panel's button does, at once, before the next device's lines.
            if (entry.InBootloader && context_.Live.AutoWrite.load())
                writes_.UpdateButtonClick(entry);
        }
        pass.FoundList.clear();
    }
    view_.AdjustDevPanelHeight(int(list.Entries.size()));
    qCDebug(lcDiscovery, "pass shown at %lld: %d new device(s), the pass took %d ms", MonotonicMs(), found,
            pass.ElapsedMs);
    // The one COM port is closed after each pass; a write session that holds it keeps it.
    channel_.ComClose();
    pass_.reset();
    StartPassAskedMeanwhile();
}

void TDiscoveryController::StartPassAskedMeanwhile()
{
    if (!passAgain_)
        return;
    passAgain_ = false;
    StartDiscovery();
}

void TDiscoveryController::Stop()
{
    passAgain_ = false;
    if (!pass_)
        return;
    pass_->RequestStop();
    pass_->Join();
    pass_.reset();
}

}  // namespace ql
