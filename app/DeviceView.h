#pragma once
// The line between the window and the device controllers. Discovery and write sessions
// own the logic and the state of a device's life; they tell the window what to show
// through TDeviceView and never reach a widget. The window passes on what the user did
// (a panel button, the discovery timer, its own destruction) through TDeviceCommands and
// decides nothing itself. Everything here runs on the UI thread.

#include "app/LoaderOptions.h"
#include "core/LiveOptions.h"
#include "core/LogSink.h"
#include "core/MessageCatalogue.h"
#include "core/MessageFormat.h"
#include "firmware/FirmwareBlock.h"
#include "firmware/FirmwareVersion.h"
#include "writing/WriteOutcome.h"

#include <cstdint>

namespace ql {

struct TDeviceList;
class THandOver;
struct TDevEntry;

// What the controllers may ask of the window. Its log (TLogSink) takes a controller's lines
// and, through the hand-over, a pass's or a session's.
class TDeviceView : public TLogSink {
public:
    // Gives an entry just appended to the device list its panel, the update button
    // disabled; pressing the button reaches TDeviceCommands::UpdateButtonClick.
    virtual void CreateDevicePanel(TDevEntry& entry) = 0;
    // Entries (and with them their panels) were added or removed: the device area takes
    // the height of this many panels.
    virtual void AdjustDevPanelHeight(int entryCount) = 0;
    // The status line, progress bar and update button of the entry's panel; an entry
    // without a panel is passed over.
    virtual void SetStatus(TDevEntry& entry, const QString& text, TLogKind kind) = 0;
    virtual void SetProgress(TDevEntry& entry, int percent) = 0;
    virtual void EnableUpdate(TDevEntry& entry, bool enabled) = 0;
    // The image from the source the window shows (a file or the embedded one), its version
    // and date shown and logged; false, logged, when it cannot be loaded.
    virtual bool LoadFirmware(FirmwareList& list, TFirmwareVersion& version) = 0;
    // Whether a completed write closes the program (option or check box), and the close.
    virtual bool AutoCloseApplies() const = 0;
    virtual void CloseAfterSuccessfulWrite() = 0;

    // What a record of the run for machines also takes, beyond the panels: a session's
    // progress in parts, a device's entry about to leave the list, a session's end.
    virtual void ProgressParts(TDevEntry& /*entry*/, uint32_t /*done*/, uint32_t /*total*/, int /*percent*/) {}
    virtual void DeviceGone(TDevEntry& /*entry*/) {}
    virtual void SessionEnded(TDevEntry& /*entry*/, const TWriteOutcome& /*outcome*/) {}

protected:
    ~TDeviceView() override = default;
};

// What the window asks of the controllers.
class TDeviceCommands {
public:
    // DevTimer fired: a discovery pass, unless one runs (none is queued).
    virtual void StartDiscovery() = 0;
    // The entry's panel button was pressed.
    virtual void UpdateButtonClick(TDevEntry& entry) = 0;
    // The window is being destroyed, its hand-over shut down already (so a thread blocked in
    // a hand-over is free to see the request): every discovery and write thread is asked to
    // stop and waited for. Nothing of the window is freed yet.
    virtual void StopThreads() = 0;
    // Closes the device's link (FTDI or maker-USB handle, or the COM port).
    virtual void CloseLink(TDevEntry& entry) = 0;

protected:
    virtual ~TDeviceCommands() = default;
};

// The state the window keeps and the controllers work on: the device list, the one way
// from background threads to the UI thread, the check boxes threads read and the
// command-line options.
struct TDeviceContext {
    TDeviceList& Devices;
    THandOver& HandOver;
    const TLiveOptions& Live;
    const LoaderOptions& Options;
};

// A catalogue message with its arguments, to a log (device 0: the no-device prefix).
template <typename... Args>
void LogDeviceMessage(TLogSink& log, TLogKind kind, int device, int message, const Args&... args)
{
    log.LogMessageText(kind, device, message, FormatText(Msg(message), args...));
}

}  // namespace ql
