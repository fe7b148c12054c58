#include "panels/FWLoaderDevGroup.h"

#include "app/Anchors.h"
#include "app/KindColours.h"
#include "core/MessageCatalogue.h"

#include <QBoxLayout>
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
const char* const kTopProperty = "qlPanelTop";

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

    Box = new QGroupBox(Msg(44) + serial, devPanel);
    Box->setProperty(kTopProperty, top);
    Box->setFixedHeight(kPanelHeight);
    Box->setGeometry(kPanelMargin, top, width, kPanelHeight);

    SerialCaption = MakeLabel(Box, Msg(45), kSerialCaptionX, kCaptionTop, kCaptionHeight, kCaptionPointSize, false);
    SerialValue = MakeLabel(Box, serial, kSerialValueX, kValueTop, kValueHeight, kValuePointSize, true);
    FirmwareCaption = MakeLabel(Box, Msg(46), kFirmwareCaptionX, kCaptionTop, kCaptionHeight, kCaptionPointSize, false);
    FirmwareValue = MakeLabel(Box, firmware, kFirmwareValueX, kValueTop, kValueHeight, kValuePointSize, true);
    BootloaderCaption = MakeLabel(Box, Msg(47), x, kCaptionTop, kCaptionHeight, kCaptionPointSize, false);
    BootloaderValue = MakeLabel(Box, bootloader, x + kBootloaderValueOffset, kValueTop, kValueHeight,
                                kValuePointSize, true);

    // The progress bar is aligned to the bottom of the box, inside its margins.
    Progress = new QProgressBar(Box);
    Progress->setRange(0, 100);
    Progress->setValue(0);
    Progress->setTextVisible(false);
    Progress->setGeometry(kPanelMargin, kPanelHeight - kPanelMargin - kProgressHeight, width - 2 * kPanelMargin,
                          kProgressHeight);

    UpdateButton = new QPushButton(Msg(48), Box);
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

    auto* anchors = new TAnchorKeeper(Box, width);
    anchors->Add(BootloaderCaption, akRight);
    anchors->Add(BootloaderValue, akRight);
    anchors->Add(UpdateButton, akRight);
    anchors->Add(StatusLine, akLeftRight);
    anchors->Add(Progress, akLeftRight);

    JoinLayout(devPanel, Box, top);
    Box->show();
}

TFWLoaderDevGroup::~TFWLoaderDevGroup()
{
    // The box takes its children with it. It is gone already when the window was
    // destroyed before the entry.
    delete Box.data();
}

TFWLoaderDevGroup* PanelOf(const TDevEntry& entry)
{
    return dynamic_cast<TFWLoaderDevGroup*>(entry.Panel.get());
}

void SetPanelStatus(TFWLoaderDevGroup& panel, const QString& text, int kind)
{
    if (!panel.Box)
        return;
    panel.StatusLine->setText(text);
    QPalette palette = panel.StatusLine->palette();
    const QColor windowText = panel.Box->palette().color(QPalette::WindowText);
    palette.setColor(QPalette::WindowText, KindColour(kind, windowText));
    panel.StatusLine->setPalette(palette);
}

void SetPanelStatus(TDevEntry& entry, const QString& text, TLogKind kind)
{
    if (TFWLoaderDevGroup* panel = PanelOf(entry))
        SetPanelStatus(*panel, text, kind);
}

}  // namespace ql
