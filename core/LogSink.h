#pragma once
// Where engine code sends its log lines. The window implements it with the log pane and
// the daily file; background threads implement it with the hand-over to the UI thread;
// tests and command-line tools collect or print the lines.

#include <QString>

namespace ql {

enum TLogKind : int { lkInfo = 0, lkError = 1, lkSuccess = 2 };

class TLogSink {
public:
    virtual ~TLogSink() = default;
    // One finished text for a device (0 = no device); the sink adds the line prefix.
    virtual void LogDeviceText(TLogKind kind, int device, const QString& text) = 0;
    // The same for a catalogue message's text, with the message's number for a sink that
    // records it; others take it as any text.
    virtual void LogMessageText(TLogKind kind, int device, int /*message*/, const QString& text)
    {
        LogDeviceText(kind, device, text);
    }
};

// A catalogue message without a device, as LogMessage writes it.
void LogCatalogue(TLogSink& sink, TLogKind kind, int message);

// The line prefix for a device number: "Device %7d\t", or "Device -------\t" for 0.
QString DevicePrefix(int device);

}  // namespace ql
