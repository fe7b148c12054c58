#include "app/LogPane.h"

#include "app/KindColours.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

namespace ql {

TLogPane::TLogPane(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setUndoRedoEnabled(false);  // the undo stack would keep a copy of every line
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_repaint.setSingleShot(true);
    m_repaint.setInterval(kLogRepaintMs);
    // Enabling updates again repaints the pane once with every line added meanwhile.
    connect(&m_repaint, &QTimer::timeout, this, [this] { setUpdatesEnabled(true); });
}

void TLogPane::AppendLine(int kind, const QString& line)
{
    if (!m_repaint.isActive()) {
        setUpdatesEnabled(false);
        m_repaint.start();
    }
    QTextCharFormat format;
    format.setForeground(KindColour(kind));
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    // The empty document already holds the first paragraph.
    if (m_lines > 0)
        cursor.insertBlock(QTextBlockFormat(), format);
    cursor.insertText(line, format);
    ++m_lines;
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

}  // namespace ql
