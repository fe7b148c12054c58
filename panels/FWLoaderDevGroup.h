#pragma once
// The panel that shows one device in the window's device area: a framed box captioned
// with the serial number, the serial number and both versions, a coloured status line,
// the update button and a progress bar. Its entry owns it: destroying the entry takes the
// panel off the window. Texts come from the catalogue in the language of the moment.

#include "devices/DevEntry.h"
#include "core/LogSink.h"

#include <QPointer>
#include <QString>

#include <functional>

class QFont;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

namespace ql {

// Layout of a panel in pixels (window description at 96 dots per inch).
inline constexpr int kPanelHeight = 90;
inline constexpr int kPanelMargin = 3;
inline constexpr int kPanelPitch = kPanelHeight + 2 * kPanelMargin;  // height taken in DevPanel
inline constexpr int kPanelTopStep = 80;  // the top passed for each entry of the list
inline constexpr int kBootloaderMinX = 423;
inline constexpr int kBootloaderRightGap = 235;

// x of the bootloader caption for a device area this wide.
inline int BootloaderCaptionX(int devPanelWidth) { return std::max(kBootloaderMinX, devPanelWidth - kBootloaderRightGap); }

class TCaptionRow;

class TFWLoaderDevGroup : public TDevicePanel {
public:
    // devPanel is the device area; when it has a box layout, the panel joins it in the
    // order of the tops. The texts are shown as given (8-bit version texts).
    TFWLoaderDevGroup(QWidget* devPanel, int top, const QString& serial, const QString& firmware,
                      const QString& bootloader);
    ~TFWLoaderDevGroup() override;

    // The width of device area that a panel with these texts needs to show them whole,
    // its labels in the given window font.
    static int AreaWidthFor(const QFont& font, const QString& serial, const QString& firmware,
                            const QString& bootloader);

    // The status line shows text in the kind's colour (Success green, Error red, anything
    // else the window-text colour).
    void SetStatus(const QString& text, TLogKind kind);
    void SetProgress(int percent);  // 0..100
    void EnableUpdate(bool enabled);
    // Runs on every press of the update button, by the user or by a test; the button is
    // created disabled.
    void OnUpdateClicked(std::function<void()> handler);

    // The frame, for reading only: its caption, place and controls (found by object name:
    // "SerialCaption", "SerialValue", "FirmwareCaption", "FirmwareValue",
    // "BootloaderCaption", "BootloaderValue", "StatusLine", "UpdateButton", "Progress").
    // Null once the window has destroyed it.
    const QGroupBox* Frame() const;

private:
    friend class TCaptionRow;

    QPointer<QGroupBox> Box;
    QLabel* SerialCaption = nullptr;
    QLabel* SerialValue = nullptr;
    QLabel* FirmwareCaption = nullptr;
    QLabel* FirmwareValue = nullptr;
    QLabel* BootloaderCaption = nullptr;
    QLabel* BootloaderValue = nullptr;
    QLabel* StatusLine = nullptr;
    QPushButton* UpdateButton = nullptr;
    QProgressBar* Progress = nullptr;
};

// The status line of the entry's panel (TFWLoaderDevGroup::SetStatus). No panel: nothing
// happens.
void SetPanelStatus(TDevEntry& entry, const QString& text, TLogKind kind);

// The panel of an entry, or null.
TFWLoaderDevGroup* PanelOf(const TDevEntry& entry);

}  // namespace ql
