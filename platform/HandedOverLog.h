#pragma once
// A log sink for background threads: each line is handed to the UI thread and logged
// there by the window's sink, and the thread waits until it is in the log, so the lines
// of one thread keep their order. The text is copied before the hand-over, so the caller
// may reuse its buffers at once.

#include "platform/HandOver.h"
#include "platform/LogSink.h"

namespace ql {

class THandedOverLog : public TLogSink {
public:
    THandedOverLog(THandOver& handOver, TLogSink& uiSink) : m_handOver(handOver), m_uiSink(uiSink) {}

    void LogDeviceText(TLogKind kind, int device, const QString& text) override
    {
        const QString line = text;
        m_handOver.RunOnUiThread([&] { m_uiSink.LogDeviceText(kind, device, line); });
    }

private:
    THandOver& m_handOver;
    TLogSink& m_uiSink;
};

}  // namespace ql
