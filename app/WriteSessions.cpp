#include "app/WriteSessions.h"

#include "devices/DeviceList.h"
#include "links/LoaderRecord.h"
#include "platform/QueuedCall.h"
#include "writing/WriteThread.h"

#include <algorithm>

namespace ql {

TWriteController::TWriteController(TDeviceView& view, const TDeviceContext& context, TDeviceChannel& channel,
                                   QObject* parent)
    : QObject(parent), view_(view), context_(context), channel_(channel)
{
}

TWriteController::~TWriteController() { Stop(); }

void TWriteController::UpdateButtonClick(TDevEntry& entry)
{
    // Entries come and go only on this thread, so the list needs no lock to be read here.
    const auto& entries = context_.Devices.Entries;
    const bool listed = std::any_of(entries.begin(), entries.end(), [&](const auto& e) { return e.get() == &entry; });
    if (!listed) {
        LogDeviceMessage(view_, lkError, 0, msg::DeviceObjectNotFound);
        return;
    }
    if (entry.InBootloader && entry.Writer.load() == nullptr)
        StartWrite(entry);
}

void TWriteController::StartWrite(TDevEntry& device)
{
    if (device.Writer.load()) {
        LogDeviceMessage(view_, lkInfo, device.SerialNumber, msg::AlreadyWriting);
        return;
    }
    auto thread = std::make_unique<TWriteThread>(channel_, context_.HandOver, view_, context_.Live, device);
    thread->Session.LoadFirmware = [this](FirmwareList& blocks, TFirmwareVersion& version) {
        return view_.LoadFirmware(blocks, version);
    };
    // Runs while the session waits for it, so its counts are read at rest.
    thread->Session.Progress = [this, device = &device, session = &thread->Session](int percent) {
        view_.SetProgress(*device, percent);
        view_.ProgressParts(*device, session->PartsDone, session->PartsTotal, percent);
    };
    thread->Session.DontCheckCompatibility = context_.Options.dontCheckCpbl;
    TWriteThread* const started = thread.get();
    device.Writer.store(started);
    threads_.push_back(std::move(thread));
    started->Start([this, started] {
        PostQueued(this, [this, started] { WriteFinished(started); });
    });
    // The session's first step waits for this thread, so these lines come before its own.
    view_.EnableUpdate(device, false);
    LogDeviceMessage(view_, lkInfo, device.SerialNumber, msg::StartingUpdate);
    view_.SetStatus(device, Msg(msg::StatusUpdating), lkSuccess);
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
        const bool locked = outcome.LastResponseCode == kStatusLocked;
        const bool incompatible = outcome.ErrorCode == kErrNotCompatible;
        const QString status = locked         ? Msg(msg::StatusLocked)
                               : incompatible ? Msg(msg::StatusNotCompatible)
                                              : FormatText(Msg(msg::StatusUpdateError), outcome.ErrorCode);
        view_.SetStatus(device, status, lkError);
        if (locked)
            LogDeviceMessage(view_, lkError, device.SerialNumber, msg::SettingsProtected);
        else if (incompatible)
            LogDeviceMessage(view_, lkError, device.SerialNumber, msg::NotCompatible);
        else
            LogDeviceMessage(view_, lkError, device.SerialNumber, msg::UpdateError, outcome.ElapsedMs,
                             outcome.ErrorCode, outcome.LastResponseCode);
    } else {
        view_.SetStatus(device, Msg(msg::StatusUpdateDone), lkSuccess);
        LogDeviceMessage(view_, lkInfo, device.SerialNumber, msg::UpdateDone, outcome.ElapsedMs);
    }
    view_.SessionEnded(device, outcome);
    // The first completed session closes the program; the others still end normally.
    if (outcome.Completed && view_.AutoCloseApplies())
        view_.CloseAfterSuccessfulWrite();

    // Under the list's lock: the discovery pass reads Writer under it to ask the session
    // to stop, so the thread object is never freed between its test and its request.
    QMutexLocker locker(&context_.Devices.Lock);
    device.Writer.store(nullptr);
    threads_.erase(std::remove_if(threads_.begin(), threads_.end(),
                                  [thread](const auto& t) { return t.get() == thread; }),
                   threads_.end());
    view_.EnableUpdate(device, true);
    if (device.Gone.load()) {
        LogDeviceMessage(view_, lkInfo, device.SerialNumber, msg::DeviceDisconnected);
        view_.DeviceGone(device);
        auto& entries = context_.Devices.Entries;
        entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const auto& e) { return e.get() == &device; }),
                      entries.end());
        view_.AdjustDevPanelHeight(int(entries.size()));
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
