// Every text of the window shown whole in the fonts of this machine: each caption fits its
// control, no title runs into its value or a control into its neighbour, nothing sticks
// out of the configuration box or of a device panel's frame, in both languages, at the
// design width and at the narrowest the window can be made. The same table runs on the
// offscreen platform and on a desktop of its own (test_window_desktop).

#include "PanelParts.h"
#include "WindowFixture.h"
#include "XDesktop.h"
#include "app/LogPane.h"
#include "firmware/FirmwareSources.h"
#include "panels/FWLoaderDevGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTextBlock>
#include <QWindow>

using namespace ql;
using namespace ql::test;

namespace {

constexpr int kNarrowestRequest = kMinimumWidth;
constexpr int kFrameLine = 2;  // what a box's frame takes at each side

// The widest realistic panels: a bootloader version with its suffix, a firmware version
// with its suffix, seven-digit serial numbers; one device in its application firmware.
struct TDevice {
    int Serial;
    const char* Firmware;
    const char* Bootloader;
};
const TDevice kDevices[] = {
    {1000001, "QRGX-13.39-a6", "STL4-1.05TR"},
    {1000002, "QRGX-13.38", nullptr},
    {8888888, "QRGX-88.88-a6", "STL4-8.88TR"},
};

// Where a label's text is drawn: its alignment decides.
QRect TextExtent(const QLabel* label)
{
    const int width = label->fontMetrics().horizontalAdvance(label->text());
    const QRect place = label->geometry();
    if (label->alignment() & Qt::AlignRight)
        return QRect(place.right() + 1 - width, place.y(), width, place.height());
    if (label->alignment() & Qt::AlignHCenter)
        return QRect(place.center().x() - width / 2, place.y(), width, place.height());
    return QRect(place.x(), place.y(), width, place.height());
}

// The room a control has for its caption, and what the caption needs.
struct TRoom {
    int Available;
    int Needed;
};

TRoom RoomOf(const QWidget* control)
{
    if (const auto* box = qobject_cast<const QCheckBox*>(control)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect contents = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        return {contents.width(), box->fontMetrics().horizontalAdvance(box->text())};
    }
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        int needed = button->fontMetrics().horizontalAdvance(button->text());
        if (!button->icon().isNull())
            needed += button->iconSize().width();
        return {contents.width(), needed};
    }
    const auto* label = qobject_cast<const QLabel*>(control);
    return {label->contentsRect().width(), label->fontMetrics().horizontalAdvance(label->text())};
}

// The horizontal stretch of a control as the eye sees it: a label's text, any other
// control's whole place.
QRect Extent(const QWidget* control)
{
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return TextExtent(label);
    return control->geometry();
}

// Where the line of a control's caption begins (the whole control where it has none).
int TextTop(const QWidget* control)
{
    const QVariant text = control->property("text");
    if (!text.isValid() || qobject_cast<const QPushButton*>(control))
        return control->y();
    return control->y() + (control->height() - control->fontMetrics().height()) / 2;
}

std::string Name(const QWidget* control)
{
    return control->objectName().toStdString();
}

struct TFitCase {
    const char* Language;
    int LanguageIndex;
    int RequestedWidth;
};

void PrintTo(const TFitCase& c, std::ostream* out) { *out << c.Language << " at " << c.RequestedWidth; }

class TextsFit : public WindowTest, public ::testing::WithParamInterface<TFitCase> {
protected:
    void SetUp() override
    {
        if (!DesktopSkipReason().isEmpty())
            GTEST_SKIP() << DesktopSkipReason().toStdString();
        WindowTest::SetUp();
        if (OnOwnDesktop()) {
            ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        }
        // The file controls shown, with the loader's own image read from a file; no saved
        // placement, which a window manager would apply after the test's own resize.
        const QString image = dir.filePath("image.eraw");
        ASSERT_TRUE(QFile::copy(kEmbeddedImagePath, image));
        WriteIni(QByteArray("[COMMON]\nLanguage=") + GetParam().Language +
                 "\nMainForm=-1,-1,-1,-1,0,150,0,0,0,0,0,1\nLastFile=" + image.toUtf8() + "\n");
    }

    // The window with its three panels, at the width asked for.
    TMainForm& ShowAtWidth(int width)
    {
        TMainForm& w = Show();
        for (const TDevice& device : kDevices) {
            auto& entry = *w.DeviceList().Entries.emplace_back(std::make_unique<TDevEntry>(device.Serial, lkFtdi));
            ParseVersion(entry.FirmwareVersion, device.Firmware);
            entry.InBootloader = device.Bootloader != nullptr;
            if (device.Bootloader)
                ParseVersion(entry.BootloaderVersion, device.Bootloader);
            w.CreateDevicePanel(entry);
        }
        w.AdjustDevPanelHeight(int(w.DeviceList().Entries.size()));
        // On a desktop the window manager's answer to the first map comes first, so that it
        // cannot undo the resize below.
        PumpUntil([&] { return w.windowHandle() && w.windowHandle()->isExposed(); });
        w.resize(width, w.height());
        // On a desktop the window manager answers the resize in its own time.
        PumpUntil([&] { return w.width() == std::max(width, w.minimumWidth()); });
        Pump();
        return w;
    }

    // Each control's caption fits it and the control lies inside its frame, below the
    // frame's top line.
    void ExpectWhole(const QGroupBox* frame, const std::vector<const QWidget*>& controls)
    {
        QStyleOptionGroupBox option;
        option.initFrom(frame);
        option.text = frame->title();
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        // The frame's top line runs just above the box's contents.
        const int frameTop =
            frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, frame).top() - 1;
        for (const QWidget* control : controls) {
            SCOPED_TRACE(Name(control));
            if (!qobject_cast<const QComboBox*>(control) && !qobject_cast<const QProgressBar*>(control)) {
                const TRoom room = RoomOf(control);
                EXPECT_LE(room.Needed, room.Available) << "caption cut: " << control->property("text").toString().toStdString();
            }
            const QRect extent = Extent(control);
            EXPECT_GE(extent.left(), kFrameLine) << "clipped on the left";
            EXPECT_LE(extent.right(), frame->width() - 1 - kFrameLine) << "clipped by the frame, width " << frame->width();
            EXPECT_GT(TextTop(control), frameTop) << "the frame's top line runs through it";
        }
    }

    // Left to right in a row: each ends before the next begins.
    void ExpectInOrder(const std::vector<const QWidget*>& row)
    {
        for (size_t i = 1; i < row.size(); ++i) {
            SCOPED_TRACE(Name(row[i - 1]) + " | " + Name(row[i]));
            EXPECT_LT(Extent(row[i - 1]).right(), Extent(row[i]).left());
        }
    }
};

TEST_P(TextsFit, EveryCaptionWholeAndNoTitleOverItsValue)
{
    const TFitCase& c = GetParam();
    TMainForm& w = ShowAtWidth(c.RequestedWidth);
    ASSERT_EQ(CurrentLanguage(), c.LanguageIndex);
    ASSERT_EQ(w.lblFileVer->text(), "QRGX-13.39-a6");
    ASSERT_FALSE(w.edFWFile->isHidden());
    // The window goes no narrower than its texts need, and never below the design minimum.
    EXPECT_GE(w.minimumWidth(), kMinimumWidth);
    EXPECT_EQ(w.width(), std::max(c.RequestedWidth, w.minimumWidth()));

    // The configuration box.
    ExpectWhole(w.gbFile, {w.updateDevices, w.edFWFile, w.btnFwOpen, w.btnFwLoad, w.lblFileDate, w.lblFirmwDate,
                           w.lblFileVersion, w.lblFileVer, w.cbAutoWrite, w.cbStartApp, w.cbStartLoader,
                           w.cbDisableFTDI, w.cbWritelogToFile, w.isNeedComPort, w.COMportsComboBox, w.cbAutoClose,
                           w.cbExternFirmware});
    ExpectInOrder({w.updateDevices, w.edFWFile, w.btnFwOpen, w.btnFwLoad});
    ExpectInOrder({w.lblFileDate, w.lblFirmwDate, w.lblFileVersion, w.lblFileVer});
    ExpectInOrder({w.cbAutoWrite, w.cbStartApp, w.cbStartLoader});
    ExpectInOrder({w.cbDisableFTDI, w.cbWritelogToFile, w.isNeedComPort, w.COMportsComboBox});
    ExpectInOrder({w.cbAutoClose, w.cbExternFirmware});

    // Each device panel, inside the visible part of the device area.
    for (const auto& entry : w.DeviceList().Entries) {
        const TPanelParts p(*PanelOf(*entry));
        SCOPED_TRACE("panel " + p.Box->title().toStdString());
        ExpectWhole(p.Box, {p.SerialCaption, p.SerialValue, p.FirmwareCaption, p.FirmwareValue, p.BootloaderCaption,
                            p.BootloaderValue, p.UpdateButton, p.Progress});
        ExpectInOrder({p.SerialCaption, p.SerialValue, p.FirmwareCaption, p.FirmwareValue, p.BootloaderCaption,
                       p.BootloaderValue});
        EXPECT_LE(p.Box->x() + p.Box->width(), w.ScrollBox1->viewport()->width()) << "the panel runs out of view";
    }
}

INSTANTIATE_TEST_SUITE_P(LanguagesAndWidths, TextsFit,
                         ::testing::Values(TFitCase{"English", kEnglish, kDesignClientWidth},
                                           TFitCase{"English", kEnglish, kNarrowestRequest},
                                           TFitCase{"Russian", kRussian, kDesignClientWidth},
                                           TFitCase{"Russian", kRussian, kNarrowestRequest}));

// The log pane: the text after every device prefix starts in one column.
TEST_P(TextsFit, TextsAfterEveryLogPrefixStartInOneColumn)
{
    TMainForm& w = ShowAtWidth(GetParam().RequestedWidth);
    const QString text = Msg(msg::DeviceConnected);
    const int first = w.reLog->LineCount();
    for (int device : {1000002, 0, 8888888, 1111111, 705})
        w.LogDeviceText(lkInfo, device, text);
    Pump();
    std::vector<int> columns;
    for (int line = first; line < w.reLog->LineCount(); ++line) {
        const QTextBlock block = w.reLog->document()->findBlockByNumber(line);
        QTextCursor cursor(block);
        cursor.setPosition(block.position() + int(block.text().indexOf(u'\t')) + 1);
        columns.push_back(w.reLog->cursorRect(cursor).x());
    }
    ASSERT_EQ(columns.size(), 5u);
    for (int column : columns)
        EXPECT_EQ(column, columns.front()) << "a text starts out of column";
}

}  // namespace
