#pragma once
// Child widgets placed at fixed pixel positions that follow their parent's right edge,
// as the window description anchors them: a child anchored right moves with the edge,
// one anchored left and right stretches with it, the others stay. The positions a child
// has when it is added are its design positions for the parent's design width.

#include <QObject>
#include <QRect>

#include <vector>

class QWidget;

namespace ql {

enum TAnchors : int { akLeft = 1, akRight = 2, akLeftRight = akLeft | akRight };

class TAnchorKeeper : public QObject {
public:
    TAnchorKeeper(QWidget* parent, int designWidth);
    void Add(QWidget* child, TAnchors anchors);
    // A new design position for a child already added (for the parent's design width).
    void SetDesign(QWidget* child, const QRect& design);
    // Places every child for the parent's width now.
    void Apply();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TChild {
        QWidget* Widget;
        QRect Design;
        TAnchors Anchors;
    };
    QWidget* parent_;
    int designWidth_;
    std::vector<TChild> children_;
};

}  // namespace ql
