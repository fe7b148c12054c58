#pragma once
// The machine-readable record of a run ("json" keyword): every log line, progress step,
// panel status change and device found or gone as one JSON object a line, each written
// and flushed at once, and at the end one summary with each device's outcome. The object
// kinds and their fields are described in docs/JSON.md and docs/json-lines.schema.json.
// UI thread only.

#include "core/LogSink.h"
#include "firmware/FirmwareVersion.h"
#include "writing/WriteOutcome.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace ql {

struct TDevEntry;

// A log line logged as free text has no catalogue number.
inline constexpr int kNoCatalogueMessage = -1;

// One object as one line: compact, newline-terminated, UTF-8.
QByteArray JsonLine(const QJsonObject& object);

// The current local time, ISO 8601 with milliseconds and the offset from UTC.
QString JsonTimeNow();

class TJsonLog {
public:
    using TWriter = std::function<void(const QByteArray& line)>;
    // Lines go to the writer; without one, to standard output, flushed after each.
    explicit TJsonLog(TWriter writer = {});

    // device 0: a line of no device (null); message kNoCatalogueMessage: null.
    void Line(TLogKind kind, int device, int message, const QString& text);
    void Progress(int device, uint32_t done, uint32_t total, int percent);
    void Status(int device, TLogKind kind, const QString& text);
    void Found(const TDevEntry& entry);
    void Gone(const TDevEntry& entry);
    // The end of a session: the device's outcome is its last session's.
    void SessionEnded(const TDevEntry& entry, const TWriteOutcome& outcome);
    // The last object of a run; image null when none was loaded.
    void Summary(const TFirmwareVersion* image);

private:
    struct TSeen {
        int32_t LinkKind = 0;
        std::optional<TWriteOutcome> LastSession;
    };
    void Write(const char* event, QJsonObject object);
    void Seen(const TDevEntry& entry);

    TWriter writer_;
    std::map<int, TSeen> seen_;  // by serial number: in the summary in ascending order
};

}  // namespace ql
