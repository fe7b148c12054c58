#include "WindowFixture.h"
#include "app/KindColours.h"
#include "PanelParts.h"
#include "panels/FWLoaderDevGroup.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

using namespace ql;
using namespace ql::test;

namespace {

constexpr int kNarrowStretch = 50;  // per cent of the font's normal width

// A device area like the window's: panels stacked from the top, then a stretch.
class Panel : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetCurrentLanguage(kEnglish);
        auto* layout = new QVBoxLayout(&area);
        layout->setContentsMargins(kPanelMargin, kPanelMargin, kPanelMargin, kPanelMargin);
        layout->setSpacing(2 * kPanelMargin);
        layout->addStretch(1);
    }
    // Glyphs as narrow as the design font's, so that every text fits where the window
    // description puts it.
    void NarrowGlyphs()
    {
        QFont font = area.font();
        font.setStretch(kNarrowStretch);
        area.setFont(font);
    }
    void SetWidth(int width)
    {
        area.resize(width, 400);
        area.show();
        Pump();
    }
    std::unique_ptr<TFWLoaderDevGroup> Make(int top, const QString& serial = "705",
                                            const QString& bootloader = "STL4-1.05TR")
    {
        auto panel = std::make_unique<TFWLoaderDevGroup>(&area, top, serial, "QRGX-13.38", bootloader);
        Pump();
        return panel;
    }
    QWidget area;
};

struct TGeometryCase {
    int Width;
    int X;
};

class PanelGeometry : public Panel, public ::testing::WithParamInterface<TGeometryCase> {};

TEST_P(PanelGeometry, TheBootloaderColumnFollowsTheAreaWidth)
{
    NarrowGlyphs();
    SetWidth(GetParam().Width);
    // A device in its application firmware: no bootloader value, which at the narrow
    // widths would otherwise have to move left to stay inside the frame.
    const auto owner = Make(kPanelTopStep, "705", QString());
    const TPanelParts panel(*owner);
    EXPECT_EQ(panel.BootloaderCaption->x(), GetParam().X);
    EXPECT_EQ(panel.BootloaderValue->x(), GetParam().X + 146);
    EXPECT_EQ(panel.SerialCaption->geometry().topLeft(), QPoint(4, 16));
    EXPECT_EQ(panel.SerialValue->geometry().topLeft(), QPoint(138, 19));
    EXPECT_EQ(panel.FirmwareCaption->geometry().topLeft(), QPoint(209, 16));
    EXPECT_EQ(panel.FirmwareValue->geometry().topLeft(), QPoint(347, 19));
    EXPECT_EQ(panel.Box->height(), kPanelHeight);
    EXPECT_EQ(panel.Box->geometry().topLeft(), QPoint(kPanelMargin, kPanelMargin));
    EXPECT_EQ(panel.Box->width(), GetParam().Width - 2 * kPanelMargin);
    // Progress bar at the bottom, button one pixel beyond its right end, status line
    // from the bar's left edge towards the button.
    const QRect bar = panel.Progress->geometry();
    EXPECT_EQ(bar.height(), 20);
    EXPECT_EQ(bar.bottom(), kPanelHeight - kPanelMargin - 1);
    EXPECT_EQ(panel.UpdateButton->geometry(), QRect(bar.left() + bar.width() - 99, 37, 100, 25));
    EXPECT_EQ(panel.StatusLine->geometry(), QRect(bar.left(), 38, panel.UpdateButton->x() - 4, 20));
}

INSTANTIATE_TEST_SUITE_P(Widths, PanelGeometry,
                         ::testing::Values(TGeometryCase{784, 549}, TGeometryCase{600, 423},
                                           TGeometryCase{658, 423}, TGeometryCase{659, 424}));

TEST_F(Panel, WideningMovesTheRightColumnAndStretchesTheStatusLine)
{
    NarrowGlyphs();
    SetWidth(784);
    const auto owner = Make(kPanelTopStep);
    const TPanelParts panel(*owner);
    const QRect serial = panel.SerialCaption->geometry();
    const QRect firmware = panel.FirmwareValue->geometry();
    const QRect caption = panel.BootloaderCaption->geometry();
    const QRect button = panel.UpdateButton->geometry();
    const QRect status = panel.StatusLine->geometry();
    SetWidth(884);
    EXPECT_EQ(panel.BootloaderCaption->geometry(), caption.translated(100, 0));
    EXPECT_EQ(panel.BootloaderValue->x(), caption.x() + 100 + 146);
    EXPECT_EQ(panel.UpdateButton->geometry(), button.translated(100, 0));
    EXPECT_EQ(panel.StatusLine->geometry(), status.adjusted(0, 0, 100, 0));
    EXPECT_EQ(panel.SerialCaption->geometry(), serial);
    EXPECT_EQ(panel.FirmwareValue->geometry(), firmware);
}

TEST_F(Panel, CaptionsInTheLanguageOfTheMoment)
{
    SetWidth(784);
    const auto englishPanel = Make(80);
    const TPanelParts english(*englishPanel);
    EXPECT_EQ(english.Box->title(), "Device705");
    EXPECT_EQ(english.SerialCaption->text(), "Serial number:");
    EXPECT_EQ(english.FirmwareCaption->text(), "Firmware version:");
    EXPECT_EQ(english.BootloaderCaption->text(), "Bootloader version:");
    EXPECT_EQ(english.UpdateButton->text(), "Update firmware");
    EXPECT_EQ(english.StatusLine->text(), "Device connected");
    EXPECT_TRUE(english.SerialValue->font().bold());
    EXPECT_EQ(english.SerialValue->text(), "705");
    EXPECT_EQ(english.SerialCaption->font().pointSize(), 12);
    EXPECT_EQ(english.SerialValue->font().pointSize(), 10);
    EXPECT_TRUE(english.StatusLine->font().bold());
    EXPECT_FALSE(english.UpdateButton->isEnabled());

    SetCurrentLanguage(kRussian);
    const auto russianPanel = Make(160, "706", QString());
    const TPanelParts russian(*russianPanel);
    EXPECT_EQ(russian.Box->title(), QString::fromUtf8("Прибор706"));
    EXPECT_EQ(russian.UpdateButton->text(), QString::fromUtf8("Прошить"));
    EXPECT_EQ(russian.BootloaderValue->text(), QString());
    // Stacked in the order of their tops.
    EXPECT_LT(english.Box->y(), russian.Box->y());
    EXPECT_EQ(russian.Box->y(), kPanelMargin + kPanelPitch);
}

TEST_F(Panel, StatusColoursAndTheirReturnToWindowText)
{
    SetWidth(784);
    TDevEntry entry(705, lkFtdi);
    entry.Panel = Make(80);
    const TPanelParts panel(*PanelOf(entry));
    const auto colour = [&] { return panel.StatusLine->palette().color(QPalette::WindowText); };
    const QColor windowText = panel.Box->palette().color(QPalette::WindowText);

    SetPanelStatus(entry, "bad", lkError);
    EXPECT_EQ(panel.StatusLine->text(), "bad");
    EXPECT_EQ(colour(), QColor(255, 0, 0));
    SetPanelStatus(entry, "good", lkSuccess);
    EXPECT_EQ(colour(), QColor(0, 128, 0));
    SetPanelStatus(entry, "plain", lkInfo);
    EXPECT_EQ(colour(), windowText);

    TDevEntry bare(706, lkFtdi);
    SetPanelStatus(bare, "nothing happens", lkError);
}

TEST_F(Panel, DestroyingTheEntryTakesThePanelOffTheArea)
{
    SetWidth(784);
    auto entry = std::make_unique<TDevEntry>(705, lkFtdi);
    entry->Panel = Make(80);
    EXPECT_EQ(area.findChildren<QGroupBox*>().size(), 1);
    entry.reset();
    EXPECT_TRUE(area.findChildren<QGroupBox*>().isEmpty());
}

}  // namespace
