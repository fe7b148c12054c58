#pragma once
// The log pane: one paragraph per line, each in its kind's colour, the newest line kept
// in view. A line is added with one cursor insert at the end of the document, so only the
// new paragraph is laid out, however many lines the pane already holds. While lines come
// in quickly the pane is painted at most once every kLogRepaintMs: a write session hands
// over a line for every piece and waits for it, so a paint per line would set the pace
// of the whole write.

#include "core/LogSink.h"

#include <QPlainTextEdit>
#include <QTimer>

namespace ql {

inline constexpr int kLogRepaintMs = 40;
// The newest lines the pane holds; older ones leave it (the daily file keeps every line).
// A line costs the pane about 640 bytes, so a rack of 128 trackers written at once (some
// 220 000 lines) would otherwise hold 140 MB, and a day of racks without end.
inline constexpr int kLogPaneLines = 100000;

class TLogPane : public QPlainTextEdit {
public:
    explicit TLogPane(QWidget* parent = nullptr);

    void AppendLine(int kind, const QString& line);
    // The first tab stop lies just beyond the widest of these prefixes (measured in the
    // pane's font), so the texts after a device prefix and after the no-device prefix
    // start in one column.
    void SetTabStopAfter(const QStringList& prefixes);
    int LineCount() const { return lines_; }  // every line added
    int ShownLines() const;                   // the newest of them that the pane holds
    void SetMaximumLines(int lines);

private:
    int lines_ = 0;
    QTimer repaint_;  // runs while painting is held back
};

}  // namespace ql
