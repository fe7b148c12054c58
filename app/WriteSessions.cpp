#include "app/WriteSessions.h"

#include "app/MainForm.h"
#include "core/MessageCatalogue.h"
#include "panels/FWLoaderDevGroup.h"
#include "platform/QueuedCall.h"
#include "writing/WriteThread.h"

#include <QProgressBar>
#include <QPushButton>

#include <algorithm>

namespace ql {
namespace {

// A device answers 138 when its settings are protected against change.
constexpr int kLockedDeviceStatus = 138;

void EnableButton(TDevEntry& device, bool enabled)
{
    if (TFWLoaderDevGroup* panel = PanelOf(device))
        panel->UpdateButton->setEnabled(enabled);
}

}  // namespace

TWriteController::TWriteController(TMainForm& form, TDeviceChannel& channel, QObject* parent)
    : QObject(parent), form_(form), channel_(channel)
{
}

TWriteController::~TWriteController() { Stop(); }

void TWriteController::UpdateButtonClick(TDevEntry& entry)
{
    // Entries come and go only on this thread, so the list needs no lock to be read here.
    const auto& entries = form_.DeviceList().Entries;
    const bool listed = std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return e.get() == &entry; });
    if (!listed) {
        form_.LogMessage(lkError, Msg(14));
        return;
    }
    if (entry.InBootloader && entry.Writer.load() == nullptr)
        StartWrite(entry);
}

void TWriteController::StartWrite(TDevEntry& device)
{
    if (device.Writer.load()) {
        form_.LogDeviceMessage(lkInfo, device.SerialNumber, Msg(17));
        return;
    }
    auto thread = std::make_unique<TWriteThread>(channel_, form_.HandOver(), form_, form_.LiveOptions(), device);
    thread->Session.LoadFirmware = [this](FirmwareList& blocks, TFirmwareVersion& version) {
        return form_.LoadFirmware(blocks, version);
    };
    thread->Session.Progress = [device = &device](int percent) {
        if (TFWLoaderDevGroup* panel = PanelOf(*device))
            panel->Progress->setValue(percent);
    };
    thread->Session.DontCheckCompatibility = form_.Options().dontCheckCpbl;
    TWriteThread* const started = thread.get();
    device.Writer.store(started);
    threads_.push_back(std::move(thread));
    started->Start([this, started] {
        PostQueued(this, [this, started] { WriteFinished(started); });
    });
    // The session's first step waits for this thread, so these lines come before its own.
    EnableButton(device, false);
    form_.LogDeviceMessage(lkInfo, device.SerialNumber, Msg(15));
    SetPanelStatus(device, Msg(16), lkSuccess);
}

void TWriteController::WriteFinished(TWriteThread* thread)
{
    // Stop() may have joined and freed the session while this report was still queued.
    const bool running = std::any_of(threads_.begin(), threads_.end(),
                                     [thread](const auto& t) { return t.get() == thread; });
    if (!running)
        return;
    thread->Join();
    const TWriteOutcome& outcome = thread->Outcome();
    TDevEntry& device = *thread->Session.Device;
    if (outcome.ErrorCode != 0) {
        const bool locked = outcome.LastResponseCode == kLockedDeviceStatus;
        const bool incompatible = outcome.ErrorCode == kErrNotCompatible;
        const QString status = locked ? Msg(18) : incompatible ? Msg(19) : FormatText(Msg(20), outcome.ErrorCode);
        SetPanelStatus(device, status, lkError);
        const QString line = locked ? Msg(21)
                             : incompatible
                                 ? Msg(22)
                                 : FormatText(Msg(23), outcome.ElapsedMs, outcome.ErrorCode, outcome.LastResponseCode);
        form_.LogDeviceText(lkError, device.SerialNumber, line);
    } else {
        SetPanelStatus(device, Msg(24), lkSuccess);
        form_.LogDeviceMessage(lkInfo, device.SerialNumber, Msg(25), outcome.ElapsedMs);
    }
    // The first completed session closes the program; the others still end normally.
    if (outcome.Completed && form_.AutoCloseApplies())
        form_.CloseAfterSuccessfulWrite();

    // Under the list's lock: the discovery pass reads Writer under it to ask the session
    // to stop, so the thread object is never freed between its test and its request.
    QMutexLocker locker(&form_.DeviceList().Lock);
    device.Writer.store(nullptr);
    threads_.erase(std::remove_if(threads_.begin(), threads_.end(),
                                  [thread](const auto& t) { return t.get() == thread; }),
                   threads_.end());
    EnableButton(device, true);
    if (device.Gone.load()) {
        form_.LogDeviceMessage(lkInfo, device.SerialNumber, Msg(msg::DeviceDisconnected));
        auto& entries = form_.DeviceList().Entries;
        entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const auto& e) { return e.get() == &device; }),
                      entries.end());
        form_.AdjustDevPanelHeight(int(entries.size()));
    }
}

void TWriteController::Stop()
{
    for (const auto& thread : threads_)
        thread->RequestStop();
    for (const auto& thread : threads_) {
        thread->Join();
        thread->Session.Device->Writer.store(nullptr);
    }
    threads_.clear();
}

}  // namespace ql
