#pragma once
// The loader as a technician meets it, inside a measuring program: the real main window
// on the offscreen platform with its discovery and write sessions, its log pane and daily
// log file, in a private exeDir, bound to whatever driver libraries LD_LIBRARY_PATH finds
// (the stand-in ones of qltracker-sim). Several may live in one process: they share its
// UI thread, as several panels of one window share it.

#include "app/LoaderOptions.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace ql {
class TDeviceControllers;
class TMainForm;
}  // namespace ql

namespace ql::bench {

// The settings a measured window starts with: English, window at 0,0 800×520, automatic
// writing off, log height 209, the daily log file on.
inline constexpr char kBenchSettings[] =
    "[COMMON]\nLanguage=English\nMainForm=0,0,800,520,0,209,1,0,0,0,0,0\n";

class TBenchLoader {
public:
    TBenchLoader();
    ~TBenchLoader();

    // Writes the settings (English, daily log file on), shows the window with its
    // controllers; its first discovery pass starts on its own.
    bool Open(const LoaderOptions& options, QString& error);
    QString ExeDir() const { return dir_.path() + '/'; }
    QString DeviceEventsPath() const { return dir_.filePath(QStringLiteral("events")); }

    int DeviceCount() const;
    bool Busy() const;           // a pass or a session is running
    int StartWrites();           // presses the update button of every device in its bootloader
    int CompletedWrites() const; // "Firmware is successfully loaded" lines in the pane
    TMainForm& Form() { return *form_; }

private:
    QTemporaryDir dir_;
    std::unique_ptr<TMainForm> form_;
    TDeviceControllers* controllers_ = nullptr;
};

// Runs the event loop until the condition holds (checked every pollMs) or timeoutMs has
// passed; true when it held.
bool RunUntil(const std::function<bool()>& condition, int timeoutMs, int pollMs = 1);

}  // namespace ql::bench
