#pragma once
// The log pane: one paragraph per line, each in its kind's colour, the newest line kept
// in view. A line is added with one cursor insert at the end of the document, so only the
// new paragraph is laid out, however many lines the pane already holds.

#include "platform/LogSink.h"

#include <QPlainTextEdit>

namespace ql {

class TLogPane : public QPlainTextEdit {
public:
    explicit TLogPane(QWidget* parent = nullptr);

    void AppendLine(int kind, const QString& line);
    int LineCount() const { return m_lines; }

private:
    int m_lines = 0;
};

}  // namespace ql
