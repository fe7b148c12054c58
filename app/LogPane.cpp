#include "app/LogPane.h"

#include "app/KindColours.h"

#include <QFontMetricsF>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <cmath>

namespace ql {

TLogPane::TLogPane(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);  // the undo stack would keep a copy of every line
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    SetMaximumLines(kLogPaneLines);
    repaint_.setSingleShot(true);
    repaint_.setInterval(kLogRepaintMs);
    // Enabling updates again repaints the pane once with every line added meanwhile.
    connect(&repaint_, &QTimer::timeout, this, [this] { setUpdatesEnabled(true); });
}

void TLogPane::SetTabStopAfter(const QStringList& prefixes)
{
    const QFontMetricsF metrics(font());
    qreal widest = 0;
    for (const QString& prefix : prefixes)
        widest = std::max(widest, metrics.horizontalAdvance(prefix));
    // A space's width beyond the prefix, so the text never touches its number.
    setTabStopDistance(std::ceil(widest + metrics.horizontalAdvance(u' ')));
}

void TLogPane::SetMaximumLines(int lines) { document()->setMaximumBlockCount(lines); }

int TLogPane::ShownLines() const { return document()->blockCount(); }

void TLogPane::AppendLine(int kind, const QString& line)
{
    if (!repaint_.isActive()) {
        setUpdatesEnabled(false);
        repaint_.start();
    }
    QTextCharFormat format;
    format.setForeground(KindColour(kind));
    // One edit for the paragraph and its text, begun before the cursor moves to the end:
    // the pane hears of the new paragraph once, and the move to the end does not shape
    // the last line's text to find its place on screen.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    // The empty document already holds the first paragraph.
    if (lines_ > 0)
        cursor.insertBlock(QTextBlockFormat(), format);
    cursor.insertText(line, format);
    cursor.endEditBlock();
    ++lines_;
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

}  // namespace ql
