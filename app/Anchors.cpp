#include "app/Anchors.h"

#include <QEvent>
#include <QWidget>

namespace ql {

TAnchorKeeper::TAnchorKeeper(QWidget* parent, int designWidth)
    : QObject(parent), parent_(parent), designWidth_(designWidth)
{
    parent->installEventFilter(this);
}

void TAnchorKeeper::Add(QWidget* child, TAnchors anchors)
{
    children_.push_back({child, child->geometry(), anchors});
    Apply();
}

void TAnchorKeeper::SetDesign(QWidget* child, const QRect& design)
{
    for (TChild& known : children_) {
        if (known.Widget == child)
            known.Design = design;
    }
    Apply();
}

void TAnchorKeeper::Apply()
{
    const int delta = parent_->width() - designWidth_;
    for (const TChild& child : children_) {
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
    if (watched == parent_ && event->type() == QEvent::Resize)
        Apply();
    return QObject::eventFilter(watched, event);
}

}  // namespace ql
