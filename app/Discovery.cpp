#include "app/Discovery.h"

#include "app/MainForm.h"
#include "core/MessageCatalogue.h"
#include "app/WriteSessions.h"
#include "devices/ReadVersion.h"
#include "links/DeviceChannel.h"
#include "panels/FWLoaderDevGroup.h"
#include "platform/QueuedCall.h"

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QPushButton>

namespace ql {
namespace {

// When each pass starts and when its result is on screen, in milliseconds of the system's
// monotonic clock (the same clock in every process), so the time from a plug-in to its
// panel can be measured from outside. Off by default: QT_LOGGING_RULES="ql.discovery.debug=true".
Q_LOGGING_CATEGORY(lcDiscovery, "ql.discovery", QtInfoMsg)

qint64 MonotonicMs() { return QDeadlineTimer::current().deadline(); }

}  // namespace

TDiscoveryController::TDiscoveryController(TMainForm& form, TDeviceChannel& channel, TWriteController& writes,
                                           QObject* parent)
    : QObject(parent), form_(form), channel_(channel), writes_(writes)
{
}

TDiscoveryController::~TDiscoveryController() { Stop(); }

void TDiscoveryController::StartDiscovery()
{
    if (pass_)
        return;
    qCDebug(lcDiscovery, "pass started at %lld", MonotonicMs());
    pass_ = std::make_unique<TReadVersion>(
        form_.DeviceList(), channel_, form_.HandOver(), form_, form_.LiveOptions(), form_.Options().serial,
        [this](FirmwareList& blocks, TFirmwareVersion& version) { return form_.LoadFirmware(blocks, version); });
    pass_->Start([this] { PostQueued(this, [this] { MergeDiscovery(); }); });
}

void TDiscoveryController::MergeDiscovery()
{
    if (!pass_)
        return;
    pass_->Join();
    TReadVersion& pass = *pass_;
    if (pass.ErrorCode != 0) {
        form_.LogDeviceMessage(lkError, 0, Msg(msg::SearchError), pass.ElapsedMs, pass.ErrorCode,
                               pass.LastResponseCode);
        pass_.reset();
        return;
    }
    TDeviceList& list = form_.DeviceList();
    const int found = int(pass.FoundList.size());
    {
        QMutexLocker locker(&list.Lock);
        for (auto it = list.Entries.begin(); it != list.Entries.end();) {
            TDevEntry& entry = **it;
            // A device being written stays until its session has ended.
            if (entry.Gone.load() && entry.Writer.load() == nullptr) {
                form_.LogDeviceMessage(lkInfo, entry.SerialNumber, Msg(msg::DeviceDisconnected));
                it = list.Entries.erase(it);
            } else {
                ++it;
            }
        }
        for (auto& found : pass.FoundList) {
            TDevEntry& entry = *found;
            form_.LogDeviceMessage(lkInfo, entry.SerialNumber, Msg(msg::DeviceConnected));
            list.Entries.push_back(std::move(found));
            form_.CreateDevicePanel(entry);
            TFWLoaderDevGroup* panel = PanelOf(entry);
            panel->UpdateButton->setEnabled(entry.InBootloader);
            form_.LogDeviceMessage(lkInfo, entry.SerialNumber, Msg(msg::FirmwareVersionIs),
                                   VersionText(entry.FirmwareVersion));
            if (entry.InBootloader)
                form_.LogMessage(lkInfo, Msg(msg::BootloaderVersionIs), VersionText(entry.BootloaderVersion));
            form_.LogDeviceMessage(lkInfo, entry.SerialNumber, Msg(msg::ProcessorIdIs), entry.ProcessorId);
            form_.LogDeviceMessage(lkInfo, entry.SerialNumber,
                                   Msg(entry.InBootloader ? msg::ModeBootloader : msg::ModeFirmware));
            if (!entry.InBootloader && entry.LoaderStarted)
                SetPanelStatus(entry, Msg(msg::ReconnectHint), lkSuccess);
            if (entry.InBootloader && form_.cbAutoWrite->isChecked())
                panel->UpdateButton->click();
        }
        pass.FoundList.clear();
    }
    form_.AdjustDevPanelHeight(int(list.Entries.size()));
    qCDebug(lcDiscovery, "pass shown at %lld: %d new device(s), the pass took %d ms", MonotonicMs(), found,
            pass.ElapsedMs);
    // The one COM port is closed after each pass; a write session that holds it keeps it.
    channel_.ComClose();
    pass_.reset();
}

void TDiscoveryController::Stop()
{
    if (!pass_)
        return;
    pass_->RequestStop();
    pass_->Join();
    pass_.reset();
}

}  // namespace ql
