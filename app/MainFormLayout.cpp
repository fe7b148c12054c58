// The window's side of fitting texts: the design positions assume the narrow glyphs of
// the design font, and a desktop's own font (DejaVu Sans on a stock Debian) is wider.
// Where a text fits, its control keeps the design position; where it does not, the
// control grows, the controls to its right move along, and a value moves beyond its
// title. The window is never narrower than what its texts need.

#include "app/MainForm.h"

#include "app/Anchors.h"
#include "app/LogPane.h"
#include "app/WindowPlaces.h"
#include "panels/FWLoaderDevGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>
#include <initializer_list>

namespace ql {
namespace {

// Texts of the widest realistic device panel: seven digits of a serial number, a
// firmware version with its suffix, a bootloader version with its suffix.
const QString kWidestSerial = QStringLiteral("8888888");
const QString kWidestFirmware = QStringLiteral("QRGX-88.88-a6");
const QString kWidestBootloader = QStringLiteral("STL4-8.88TR");

int Right(const QRect& place) { return place.x() + place.width(); }

int LabelWidth(const QLabel* label) { return label->fontMetrics().horizontalAdvance(label->text()); }

// A push button's width for its text and icon: the style's frame around the contents.
int ButtonWidth(const QPushButton* button, int designWidth)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.rect = QRect(0, 0, designWidth, button->height());
    const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    int need = button->fontMetrics().horizontalAdvance(button->text());
    if (!button->icon().isNull())
        need += button->iconSize().width() + place::kTextGap;
    return std::max(designWidth, need + designWidth - contents.width());
}

int CheckBoxWidth(const QCheckBox* box, int designWidth) { return std::max(designWidth, box->sizeHint().width()); }

}  // namespace

QString TMainForm::WidestDevicePrefix() const
{
    const QFontMetricsF metrics(reLog->font());
    QChar widest = u'0';
    for (char16_t digit = u'1'; digit <= u'9'; ++digit) {
        if (metrics.horizontalAdvance(QChar(digit)) > metrics.horizontalAdvance(widest))
            widest = QChar(digit);
    }
    QString prefix = DevicePrefix(1000000).section(u'\t', 0, 0);
    for (QChar& c : prefix) {
        if (c.isDigit())
            c = widest;
    }
    return prefix;
}

void TMainForm::FitControlsToTexts()
{
    // Everything below is in design coordinates: the anchors shift what follows the
    // right edge by the difference between the box's width and the design width.
    int need = 0;  // the box width the texts need
    const auto keep = [&need](const QRect& place) { need = std::max(need, Right(place) + place::kRightMargin); };

    // The first row: the device-list button, the file name, "..." and Read.
    QRect update = place::kUpdateDevices;
    update.setWidth(ButtonWidth(updateDevices, update.width()));
    updateDevices->setGeometry(update);
    QRect read = place::kReadButton;
    read.setWidth(ButtonWidth(btnFwLoad, read.width()));
    read.moveRight(place::kReadButton.right());
    QRect open = place::kOpenButton;
    open.setWidth(ButtonWidth(btnFwOpen, open.width()));
    open.moveRight(read.left() - place::kButtonGap - 1);
    QRect file = place::kFileName;
    file.setLeft(std::max(file.left(), Right(update) + place::kButtonGap));
    file.setRight(open.left() - place::kButtonGap - 1);
    anchors_->SetDesign(btnFwLoad, read);
    anchors_->SetDesign(btnFwOpen, open);
    anchors_->SetDesign(edFWFile, file);
    keep(update);

    // The image's date and version: each value beyond its title; the version pair,
    // right-aligned, ends where the design ends it and keeps clear of the date.
    QRect dateTitle = place::kDateTitle;
    dateTitle.setWidth(LabelWidth(lblFileDate));
    lblFileDate->setGeometry(dateTitle);
    QRect dateValue = place::kDateValue;
    dateValue.setLeft(std::max(dateValue.left(), Right(dateTitle) + place::kTextGap));
    dateValue.setWidth(LabelWidth(lblFirmwDate));
    lblFirmwDate->setGeometry(dateValue);
    const int valueWidth = LabelWidth(lblFileVer);
    const QRect versionValue(place::kVersionValueRight - valueWidth, place::kVersionValueTop, valueWidth,
                             place::kVersionValueHeight);
    const int titleWidth = LabelWidth(lblFileVersion);
    const int titleRight = std::min(place::kVersionTitleRight, versionValue.left() - place::kTextGap);
    const QRect versionTitle(titleRight - titleWidth, place::kVersionTitleTop, titleWidth, place::kVersionTitleHeight);
    anchors_->SetDesign(lblFileVersion, versionTitle);
    anchors_->SetDesign(lblFileVer, versionValue);
    // The version pair follows the right edge; the date stays.
    need = std::max(need, kDesignClientWidth + Right(dateValue) + place::kTextGap - versionTitle.left());
    keep(dateValue);

    // The check boxes stand in three columns; a column moves right when a box of the
    // column before it needs the room.
    struct TColumn {
        std::initializer_list<std::pair<QCheckBox*, QRect>> Boxes;
    };
    const TColumn columns[] = {
        {{{cbAutoWrite, place::kAutoWrite}, {cbDisableFTDI, place::kDisableFtdi}, {cbAutoClose, place::kAutoClose}}},
        {{{cbStartApp, place::kStartApp}, {cbWritelogToFile, place::kWriteLogToFile},
          {cbExternFirmware, place::kExternFirmware}}},
        {{{cbStartLoader, place::kStartLoader}, {isNeedComPort, place::kNeedComPort}}},
    };
    int columnRight = 0;
    for (const TColumn& column : columns) {
        int right = 0;
        for (const auto& [box, design] : column.Boxes) {
            QRect placed = design;
            placed.moveLeft(std::max(design.left(), columnRight + place::kColumnGap));
            placed.setWidth(CheckBoxWidth(box, design.width()));
            box->setGeometry(placed);
            keep(placed);
            right = std::max(right, Right(placed));
        }
        columnRight = right;
    }
    QRect ports = place::kComPorts;
    ports.moveLeft(std::max(ports.left(), Right(isNeedComPort->geometry()) + place::kComboGap));
    COMportsComboBox->setGeometry(ports);
    keep(ports);

    // The device panels: the widest realistic panel fits beside the scroll bar.
    const int panelArea = TFWLoaderDevGroup::AreaWidthFor(DevPanel->font(), kWidestSerial, kWidestFirmware,
                                                          kWidestBootloader);
    const int scrollBar = ScrollBox1->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ScrollBox1);
    need = std::max(need, panelArea + scrollBar);

    setMinimumWidth(std::max(kMinimumWidth, need));
}

}  // namespace ql
