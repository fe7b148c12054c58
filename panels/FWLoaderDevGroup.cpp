#include "panels/FWLoaderDevGroup.h"

#include "app/Anchors.h"
#include "app/FrameStyle.h"
#include "app/KindColours.h"
#include "core/MessageCatalogue.h"

#include <QBoxLayout>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QVariant>

#include <algorithm>

namespace ql {
namespace {

constexpr int kCaptionTop = 16;
constexpr int kCaptionHeight = 19;
constexpr int kCaptionPointSize = 12;
constexpr int kValueTop = 19;
constexpr int kValueHeight = 16;
constexpr int kValuePointSize = 10;
constexpr int kSerialCaptionX = 4;
constexpr int kSerialValueX = 138;
constexpr int kFirmwareCaptionX = 209;
constexpr int kFirmwareValueX = 347;
constexpr int kBootloaderValueOffset = 146;
constexpr int kProgressHeight = 20;
constexpr int kButtonTop = 37;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 25;
constexpr int kButtonInset = 99;  // from the progress bar's right end: one pixel beyond it
constexpr int kStatusTop = 38;
constexpr int kStatusHeight = 20;
constexpr int kStatusGap = 4;
constexpr int kStatusPointSize = 12;
constexpr int kTextGap = 4;  // between a caption and its value, and a value and the next caption
const char* const kTopProperty = "qlPanelTop";

int Right(const QWidget* widget) { return widget->x() + widget->width(); }

}  // namespace

// The row of captions and values. The design positions assume narrow glyphs; with
// wider ones a value moves to the right of its caption and a caption to the right of the
// value before it, and the bootloader pair, which follows the right edge, stays inside
// the frame and never covers the firmware value. The box is never narrower than the row.
class TCaptionRow : public QObject {
public:
    TCaptionRow(TFWLoaderDevGroup& panel, int bootloaderX)
        : QObject(panel.Box), panel_(panel), box_(panel.Box), bootloaderX_(bootloaderX),
          designWidth_(panel.Box->width())
    {
        box_->installEventFilter(this);
        Place();
    }

    void Place()
    {
        const TFWLoaderDevGroup& p = panel_;
        p.SerialValue->move(std::max(kSerialValueX, Right(p.SerialCaption) + kTextGap), kValueTop);
        p.FirmwareCaption->move(std::max(kFirmwareCaptionX, Right(p.SerialValue) + kTextGap), kCaptionTop);
        p.FirmwareValue->move(std::max(kFirmwareValueX, Right(p.FirmwareCaption) + kTextGap), kValueTop);
        const int leftEnd = Right(p.FirmwareValue) + kTextGap;
        const int valueOffset = std::max(kBootloaderValueOffset, p.BootloaderCaption->width() + kTextGap);
        const int pairWidth = valueOffset + p.BootloaderValue->width();
        p.Box->setMinimumWidth(leftEnd + pairWidth + kPanelMargin);
        int x = bootloaderX_ + p.Box->width() - designWidth_;
        x = std::max(std::min(x, p.Box->width() - kPanelMargin - pairWidth), leftEnd);
        p.BootloaderCaption->move(x, kCaptionTop);
        p.BootloaderValue->move(x + valueOffset, kValueTop);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Compared as a plain widget: events reach the filter while the box is being
        // destroyed, when it is no group box any more.
        if (watched == box_ && event->type() == QEvent::Resize)
            Place();
        return QObject::eventFilter(watched, event);
    }

private:
    TFWLoaderDevGroup& panel_;
    QWidget* box_;
    int bootloaderX_;   // where the design puts the bootloader caption for the width at creation
    int designWidth_;   // the box's width at creation
};

namespace {

QLabel* MakeLabel(QWidget* box, const QString& text, int x, int y, int height, int pointSize, bool bold)
{
    auto* label = new QLabel(text, box);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    label->adjustSize();
    label->setGeometry(x, y, label->width(), height);
    return label;
}

// Panels stand in the order of their tops, above the stretch that ends the layout.
void JoinLayout(QWidget* devPanel, QGroupBox* box, int top)
{
    auto* layout = qobject_cast<QBoxLayout*>(devPanel->layout());
    if (!layout)
        return;
    int index = 0;
    for (; index < layout->count(); ++index) {
        QWidget* other = layout->itemAt(index)->widget();
        if (!other || other->property(kTopProperty).toInt() > top)
            break;
    }
    layout->insertWidget(index, box);
}

}  // namespace

TFWLoaderDevGroup::TFWLoaderDevGroup(QWidget* devPanel, int top, const QString& serial,
                                     const QString& firmware, const QString& bootloader)
{
    const int width = devPanel->width() - 2 * kPanelMargin;
    const int x = BootloaderCaptionX(devPanel->width());

    Box = new QGroupBox(Msg(msg::PanelCaption) + serial, devPanel);
    Box->setProperty(kTopProperty, top);
    Box->setFixedHeight(kPanelHeight);
    Box->setGeometry(kPanelMargin, top, width, kPanelHeight);

    SerialCaption = MakeLabel(Box, Msg(msg::SerialCaption), kSerialCaptionX, kCaptionTop, kCaptionHeight,
                              kCaptionPointSize, false);
    SerialValue = MakeLabel(Box, serial, kSerialValueX, kValueTop, kValueHeight, kValuePointSize, true);
    FirmwareCaption = MakeLabel(Box, Msg(msg::FirmwareCaption), kFirmwareCaptionX, kCaptionTop, kCaptionHeight,
                                kCaptionPointSize, false);
    FirmwareValue = MakeLabel(Box, firmware, kFirmwareValueX, kValueTop, kValueHeight, kValuePointSize, true);
    BootloaderCaption =
        MakeLabel(Box, Msg(msg::BootloaderCaption), x, kCaptionTop, kCaptionHeight, kCaptionPointSize, false);
    BootloaderValue = MakeLabel(Box, bootloader, x + kBootloaderValueOffset, kValueTop, kValueHeight,
                                kValuePointSize, true);

    // The progress bar is aligned to the bottom of the box, inside its margins.
    Progress = new QProgressBar(Box);
    Progress->setRange(0, 100);
    Progress->setValue(0);
    Progress->setTextVisible(false);
    Progress->setGeometry(kPanelMargin, kPanelHeight - kPanelMargin - kProgressHeight, width - 2 * kPanelMargin,
                          kProgressHeight);

    UpdateButton = new QPushButton(Msg(msg::UpdateButton), Box);
    UpdateButton->setGeometry(Progress->x() + Progress->width() - kButtonInset, kButtonTop, kButtonWidth,
                              kButtonHeight);
    UpdateButton->setEnabled(false);

    StatusLine = new QLabel(Msg(msg::DeviceConnected), Box);
    QFont statusFont = StatusLine->font();
    statusFont.setPointSize(kStatusPointSize);
    statusFont.setBold(true);
    StatusLine->setFont(statusFont);
    StatusLine->setAlignment(Qt::AlignCenter);
    StatusLine->setGeometry(Progress->x(), kStatusTop, UpdateButton->x() - kStatusGap, kStatusHeight);

    const std::pair<QWidget*, const char*> names[] = {
        {SerialCaption, "SerialCaption"}, {SerialValue, "SerialValue"}, {FirmwareCaption, "FirmwareCaption"},
        {FirmwareValue, "FirmwareValue"}, {BootloaderCaption, "BootloaderCaption"},
        {BootloaderValue, "BootloaderValue"}, {StatusLine, "StatusLine"}, {UpdateButton, "UpdateButton"},
        {Progress, "Progress"},
    };
    for (const auto& [widget, name] : names)
        widget->setObjectName(name);

    new TCaptionRow(*this, x);
    auto* anchors = new TAnchorKeeper(Box, width);
    anchors->Add(UpdateButton, akRight);
    anchors->Add(StatusLine, akLeftRight);
    anchors->Add(Progress, akLeftRight);

    Box->setStyleSheet(kCaptionOnFrameStyle);
    JoinLayout(devPanel, Box, top);
    Box->show();
}

TFWLoaderDevGroup::~TFWLoaderDevGroup()
{
    // The box takes its children with it. It is gone already when the window was
    // destroyed before the entry.
    delete Box.data();
}

int TFWLoaderDevGroup::AreaWidthFor(const QFont& font, const QString& serial, const QString& firmware,
                                    const QString& bootloader)
{
    QWidget area;
    area.setFont(font);
    const TFWLoaderDevGroup probe(&area, 0, serial, firmware, bootloader);
    return probe.Box->minimumWidth() + 2 * kPanelMargin;
}

TFWLoaderDevGroup* PanelOf(const TDevEntry& entry)
{
    return dynamic_cast<TFWLoaderDevGroup*>(entry.Panel.get());
}

const QGroupBox* TFWLoaderDevGroup::Frame() const { return Box.data(); }

void TFWLoaderDevGroup::SetStatus(const QString& text, TLogKind kind)
{
    if (!Box)
        return;
    StatusLine->setText(text);
    QPalette palette = StatusLine->palette();
    const QColor windowText = Box->palette().color(QPalette::WindowText);
    palette.setColor(QPalette::WindowText, KindColour(kind, windowText));
    StatusLine->setPalette(palette);
}

void TFWLoaderDevGroup::SetProgress(int percent)
{
    if (Box)
        Progress->setValue(percent);
}

void TFWLoaderDevGroup::EnableUpdate(bool enabled)
{
    if (Box)
        UpdateButton->setEnabled(enabled);
}

void TFWLoaderDevGroup::OnUpdateClicked(std::function<void()> handler)
{
    // The box as context: the connection goes with the box.
    if (Box)
        QObject::connect(UpdateButton, &QPushButton::clicked, Box, std::move(handler));
}

void SetPanelStatus(TDevEntry& entry, const QString& text, TLogKind kind)
{
    if (TFWLoaderDevGroup* panel = PanelOf(entry))
        panel->SetStatus(text, kind);
}

}  // namespace ql
