#pragma once
// Log lines of a background thread: formatted where they arise, written by the UI thread
// while the thread waits, so its lines appear in order and before its next step.

#include "core/HandOver.h"
#include "core/LogSink.h"
#include "core/MessageCatalogue.h"
#include "core/MessageFormat.h"

namespace ql {

class THandedLog {
public:
    THandedLog(THandOver& handOver, TLogSink& sink) : handOver_(handOver), sink_(sink) {}

    void Text(TLogKind kind, int device, const QString& text)
    {
        handOver_.RunOnUiThread([&] { sink_.LogDeviceText(kind, device, text); });
    }

    template <typename... Args>
    void Message(TLogKind kind, int device, int message, const Args&... args)
    {
        const QString text = FormatText(Msg(message), args...);
        handOver_.RunOnUiThread([&] { sink_.LogMessageText(kind, device, message, text); });
    }

private:
    THandOver& handOver_;
    TLogSink& sink_;
};

}  // namespace ql
