#pragma once
// TMainForm, the loader's only window: the configuration box with the device-list button,
// the firmware-file controls and the option check boxes; the device panels in a scrolling
// area; the log pane along the bottom. It reacts to device-change notifications by
// scheduling discovery (the one-shot DevTimer), keeps the COM-port list current, and on
// destruction saves the settings and frees every device.
//
// Discovery passes and write sessions are run by controllers outside this class. The
// window is their view (TDeviceView: panels, status, progress, log), on the UI thread
// (background threads through HandOver()), and it passes on what the user does through
// TDeviceCommands.

#include "app/DeviceView.h"
#include "app/DriverCheck.h"
#include "app/JsonLog.h"
#include "app/LoaderOptions.h"
#include "core/MessageFormat.h"
#include "devices/DeviceList.h"
#include "firmware/FirmwareBlock.h"
#include "firmware/FirmwareVersion.h"
#include "core/LiveOptions.h"
#include "core/LogSink.h"
#include "platform/UiHandOver.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QSplitter;
class QTimer;

namespace ql {

class TAnchorKeeper;
class TDeviceEventSocket;
class TLogPane;
class TUdevMonitor;

// Design figures of the window, in pixels.
inline constexpr int kDesignClientWidth = 784;
inline constexpr int kDesignClientHeight = 501;
inline constexpr int kMinimumWidth = 680;
inline constexpr int kConfigBoxHeight = 150;
inline constexpr int kDesignLogHeight = 209;
inline constexpr int kDevPanelMinHeight = 90;
inline constexpr int kSplitterWidth = 3;
inline constexpr int kFileListDropWidth = 500;
inline constexpr int kDevTimerMs = 100;  // debounce of device-change notifications
inline constexpr int kFrameWatchMs = 50;  // how often the new window looks for its frame
inline constexpr int kFrameWatchTicks = 100;  // and for how long: 5 s

class TMainForm : public QWidget, public TDeviceView {
    Q_OBJECT
public:
    explicit TMainForm(const LoaderOptions& options, QWidget* parent = nullptr);
    ~TMainForm() override;  // FormDestroy

    // --- for the controllers -----------------------------------------------------
    // The controllers the window passes the user's actions to; none: nothing happens.
    // They must outlive the window's destruction, which stops their threads.
    void SetCommands(TDeviceCommands* commands) { commands_ = commands; }
    // What the controllers work on: the device list, the hand-over (background threads
    // reach the UI thread only through it), the live check boxes and the options.
    TDeviceContext DeviceContext() { return {devices_, handOver_, live_, options_}; }
    THandOver& HandOver() { return handOver_; }
    const TLiveOptions& LiveOptions() const { return live_; }
    const LoaderOptions& Options() const { return options_; }
    TDeviceList& DeviceList() { return devices_; }

    bool LoadFirmware(FirmwareList& list, TFirmwareVersion& version) override;
    bool FirmwareFromResource() const { return firmwareFromResource_; }
    const TFirmwareVersion& CurrentVersion() const { return currentVersion_; }

    // --- TDeviceView -------------------------------------------------------------
    // The panel's top is entries × 80; DevPanel's minimum height 96 per entry, 90 when none.
    void CreateDevicePanel(TDevEntry& entry) override;
    void AdjustDevPanelHeight(int entryCount) override;
    void SetStatus(TDevEntry& entry, const QString& text, TLogKind kind) override;
    void SetProgress(TDevEntry& entry, int percent) override;
    void EnableUpdate(TDevEntry& entry, bool enabled) override;
    bool AutoCloseApplies() const override;
    void CloseAfterSuccessfulWrite() override;  // exit code 1
    void ProgressParts(TDevEntry& entry, uint32_t done, uint32_t total, int percent) override;
    void DeviceGone(TDevEntry& entry) override;
    void SessionEnded(TDevEntry& entry, const TWriteOutcome& outcome) override;
    int ExitCode() const { return exitCode_; }

    // Restarts the 100 ms one-shot discovery timer.
    void RestartDevTimer();

    // --- log ---------------------------------------------------------------------
    void LogText(TLogKind kind, const QString& line);
    void LogDeviceText(TLogKind kind, int device, const QString& text) override;
    void LogMessageText(TLogKind kind, int device, int message, const QString& text) override;
    template <typename... Args>
    void LogMessage(TLogKind kind, const QString& format, const Args&... args)
    {
        LogDeviceText(kind, 0, FormatText(format, args...));
    }
    template <typename... Args>
    void LogDeviceMessage(TLogKind kind, int device, const QString& format, const Args&... args)
    {
        LogDeviceText(kind, device, FormatText(format, args...));
    }

    // --- start-up seams (tests, portable callers) ---------------------------------
    // exeDir to use instead of the executable's directory; before the first show.
    void SetExeDir(const QString& dir) { exeDir_ = dir; }
    QString ExeDir() const { return exeDir_; }
    void SetDriverBinders(TDriverBinders binders) { binders_ = std::move(binders); }
    // Shows an error box (caption, text) and returns when it is dismissed.
    void SetErrorBox(std::function<void(const QString&, const QString&)> box) { errorBox_ = std::move(box); }
    // Asks for a firmware file, proposing a name; empty when cancelled.
    void SetFileChooser(std::function<QString(const QString&)> chooser) { chooseFile_ = std::move(chooser); }

    // --- handlers ------------------------------------------------------------------
    void FormShow();
    void btnFwLoadClick();
    void btnFwOpenClick();
    void updateDevicesClick();
    void cbExternFirmwareClick();
    void isNeedComPortClick();
    void COMportsComboBoxChange();
    void DevTimerTimer();
    void OnDeviceChange(int eventCode);
    void FillComPortList();
    void LoadSettings();
    void SaveSettings();

    // --- controls, named as in the window description ------------------------------
    QGroupBox* gbFile = nullptr;
    QPushButton* updateDevices = nullptr;
    QComboBox* edFWFile = nullptr;
    QPushButton* btnFwOpen = nullptr;
    QPushButton* btnFwLoad = nullptr;
    QLabel* lblFileDate = nullptr;
    QLabel* lblFirmwDate = nullptr;
    QLabel* lblFileVersion = nullptr;
    QLabel* lblFileVer = nullptr;
    QCheckBox* cbAutoWrite = nullptr;
    QCheckBox* cbStartApp = nullptr;
    QCheckBox* cbStartLoader = nullptr;
    QCheckBox* cbDisableFTDI = nullptr;
    QCheckBox* cbWritelogToFile = nullptr;
    QCheckBox* isNeedComPort = nullptr;
    QComboBox* COMportsComboBox = nullptr;
    QCheckBox* cbAutoClose = nullptr;
    QCheckBox* cbExternFirmware = nullptr;
    QWidget* Panel1 = nullptr;
    QScrollArea* ScrollBox1 = nullptr;
    QWidget* DevPanel = nullptr;
    QSplitter* Splitter1 = nullptr;
    TLogPane* reLog = nullptr;
    QTimer* DevTimer = nullptr;

    int LogHeight() const;
    void SetLogHeight(int height);

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void BuildControls();
    void WireLiveOptions();
    void SetCaptions();
    void ApplyFileControlsVisibility();
    // Widens and moves the configuration box's controls where their texts need more room
    // than the design gives, and sets the window's minimum width to what the texts need.
    void FitControlsToTexts();
    QString WidestDevicePrefix() const;
    // The window manager's frame round the window, and the place of both together.
    QMargins FrameMargins() const;
    QRect OuterGeometry() const;
    // Moves and sizes the window so that its frame takes this place.
    void PlaceOuter(const QRect& outer);
    // The saved placement again, once the window manager has put its frame round the
    // window (the start-up sequence ran before it could).
    void PlaceOuterOnceFramed();
    void WatchForFrame();
    void StartDeviceEvents();
    void ShowErrorBox(const QString& text);
    void FormDestroy();
    // One line to the pane, the daily file, and standard output as text or as JSON.
    void LogLine(TLogKind kind, int device, int message, const QString& text);

    LoaderOptions options_;
    TLiveOptions live_;
    TDeviceList devices_;
    TUiHandOver handOver_;
    TDeviceCommands* commands_ = nullptr;
    TDriverBinders binders_;
    std::function<void(const QString&, const QString&)> errorBox_;
    std::function<QString(const QString&)> chooseFile_;
    TUdevMonitor* udev_ = nullptr;
    TAnchorKeeper* anchors_ = nullptr;
    TDeviceEventSocket* eventSocket_ = nullptr;

    int exitCode_ = -1;
    QString exeDir_;
    std::optional<QRect> pendingOuter_;  // saved placement not yet applied with the frame
    bool savedAutoWrite_ = false;
    bool savedNeedComPort_ = false;
    bool shown_ = false;
    bool started_ = false;  // the start-up sequence has run: the settings may be saved
    bool firmwareFromResource_ = false;
    TFirmwareVersion currentVersion_;
    std::unique_ptr<TJsonLog> json_;            // the "json" keyword's record of the run
    std::optional<TFirmwareVersion> loadedImage_;  // the last image loaded, for its summary
};

}  // namespace ql
