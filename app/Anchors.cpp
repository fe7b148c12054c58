#include "app/Anchors.h"

#include <QEvent>
#include <QWidget>

namespace ql {

TAnchorKeeper::TAnchorKeeper(QWidget* parent, int designWidth)
    : QObject(parent), m_parent(parent), m_designWidth(designWidth)
{
    parent->installEventFilter(this);
}

void TAnchorKeeper::Add(QWidget* child, TAnchors anchors)
{
    m_children.push_back({child, child->geometry(), anchors});
    Apply();
}

void TAnchorKeeper::SetDesign(QWidget* child, const QRect& design)
{
    for (TChild& known : m_children) {
        if (known.Widget == child)
            known.Design = design;
    }
    Apply();
}

void TAnchorKeeper::Apply()
{
    const int delta = m_parent->width() - m_designWidth;
    for (const TChild& child : m_children) {
        QRect place = child.Design;
        if (child.Anchors == akLeftRight)
            place.setWidth(child.Design.width() + delta);
        else if (child.Anchors == akRight)
            place.moveLeft(child.Design.left() + delta);
        child.Widget->setGeometry(place);
    }
}

bool TAnchorKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_parent && event->type() == QEvent::Resize)
        Apply();
    return QObject::eventFilter(watched, event);
}

}  // namespace ql
