// The window's side of the settings file: which control each value belongs to.

#include "app/MainForm.h"

#include "app/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace ql {
namespace {

QSize VirtualDesktopSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualSize() : QSize();
}

struct TBoxField {
    TMainFormField Field;
    QCheckBox* TMainForm::*Box;
};

// The check boxes the file keeps; cbStartLoader is never saved.
const TBoxField kSavedBoxes[] = {
    {mfAutoWrite, &TMainForm::cbAutoWrite},         {mfWriteLogToFile, &TMainForm::cbWritelogToFile},
    {mfStartApp, &TMainForm::cbStartApp},           {mfDisableFtdi, &TMainForm::cbDisableFTDI},
    {mfNeedComPort, &TMainForm::isNeedComPort},     {mfAutoClose, &TMainForm::cbAutoClose},
    {mfExternFirmware, &TMainForm::cbExternFirmware},
};

}  // namespace

void TMainForm::LoadSettings()
{
    const QString path = SettingsFilePath(exeDir_);
    EnsureLanguageKey(path);
    const TSettingsValues values = ReadSettingsFile(path);
    SetCurrentLanguage(values.Language);
    edFWFile->addItems(values.Files);
    // addItems on an empty box selects the first item; the file text is decided below.
    if (options_.fwFile.isEmpty())
        edFWFile->setEditText(values.LastFile);
    else
        edFWFile->setEditText(options_.fwFile);

    const TMainFormValues apply = ApplicableMainForm(values.MainForm, values.MainFormCount, VirtualDesktopSize());
    // Saved sizes are the outer ones. Before the window manager has framed the window the
    // frame adds nothing, so the placement is applied once more when the frame is known.
    QRect outer = OuterGeometry();
    if (apply[mfLeft] != kMainFormUnset)
        outer.moveLeft(apply[mfLeft]);
    if (apply[mfTop] != kMainFormUnset)
        outer.moveTop(apply[mfTop]);
    if (apply[mfWidth] != kMainFormUnset)
        outer.setWidth(apply[mfWidth]);
    if (apply[mfHeight] != kMainFormUnset)
        outer.setHeight(apply[mfHeight]);
    PlaceOuter(outer);
    const bool placed = apply[mfLeft] != kMainFormUnset || apply[mfTop] != kMainFormUnset
        || apply[mfWidth] != kMainFormUnset || apply[mfHeight] != kMainFormUnset;
    if (placed && OuterGeometry() == geometry())
        pendingOuter_ = outer;
    for (const TBoxField& saved : kSavedBoxes) {
        if (apply[saved.Field] != kMainFormUnset)
            (this->*saved.Box)->setChecked(apply[saved.Field] != 0);
    }
    if (apply[mfLogHeight] != kMainFormUnset)
        SetLogHeight(apply[mfLogHeight]);

    savedAutoWrite_ = cbAutoWrite->isChecked();
    savedNeedComPort_ = isNeedComPort->isChecked();
    // Options tick boxes, never untick them.
    if (options_.autoWrite)
        cbAutoWrite->setChecked(true);
    if (options_.disableFtdi)
        cbDisableFTDI->setChecked(true);
    if (options_.startApp)
        cbStartApp->setChecked(true);
    if (options_.useStartLoader)
        cbStartLoader->setChecked(true);
    // COM-port mode for this run only, like autowrite.
    if (!options_.comportName.isEmpty())
        isNeedComPort->setChecked(true);
    if (cbExternFirmware->isChecked())
        cbExternFirmwareClick();
}

QMargins TMainForm::FrameMargins() const
{
    // Asked of the window system each time: the widget's own copy of the frame is only
    // brought up to date when the window moves or changes its size, and a window manager
    // can frame a window without either.
    return windowHandle() ? windowHandle()->frameMargins() : QMargins();
}

QRect TMainForm::OuterGeometry() const { return geometry().marginsAdded(FrameMargins()); }

void TMainForm::PlaceOuter(const QRect& outer)
{
    // By the window's own rectangle inside the frame: a move of the widget would go by
    // its possibly stale copy of the frame.
    setGeometry(outer.marginsRemoved(FrameMargins()));
}

void TMainForm::WatchForFrame()
{
    if (!pendingOuter_)
        return;
    // Not every window manager's framing reaches the window as an event of its own, so
    // the window also looks for its frame for a while (and gives up where none comes,
    // as on the offscreen platform).
    auto* watch = new QTimer(this);
    watch->setInterval(kFrameWatchMs);
    connect(watch, &QTimer::timeout, this, [this, watch, ticks = 0]() mutable {
        PlaceOuterOnceFramed();
        if (!pendingOuter_ || ++ticks >= kFrameWatchTicks) {
            pendingOuter_.reset();
            watch->stop();
            watch->deleteLater();
        }
    });
    watch->start();
}

void TMainForm::PlaceOuterOnceFramed()
{
    if (!pendingOuter_)
        return;
    const QRect frame = OuterGeometry();
    // A frame that does not hold the window is one the window manager is still building.
    if (frame == geometry() || !frame.contains(geometry()))
        return;
    const QRect outer = *pendingOuter_;
    // Once only: a window manager that changes its frame later gets no answer from us.
    pendingOuter_.reset();
    if (frame != outer)
        PlaceOuter(outer);
}

bool TMainForm::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowActivate:
        PlaceOuterOnceFramed();
        break;
    default:
        break;
    }
    return handled;
}

void TMainForm::SaveSettings()
{
    // A window whose start-up never ran has no exeDir and nothing to keep.
    if (!started_)
        return;
    TMainFormValues values = UnsetMainForm();
    const QRect outer = OuterGeometry();
    values[mfLeft] = outer.left();
    values[mfTop] = outer.top();
    values[mfWidth] = outer.width();
    values[mfHeight] = outer.height();
    values[mfLogHeight] = LogHeight();
    for (const TBoxField& saved : kSavedBoxes)
        values[saved.Field] = (this->*saved.Box)->isChecked() ? 1 : 0;
    if (options_.autoWrite)
        values[mfAutoWrite] = savedAutoWrite_ ? 1 : 0;
    if (!options_.comportName.isEmpty())
        values[mfNeedComPort] = savedNeedComPort_ ? 1 : 0;
    QStringList files;
    for (int i = 0; i < edFWFile->count(); ++i)
        files << edFWFile->itemText(i);
    WriteSettingsFile(SettingsFilePath(exeDir_), values, edFWFile->currentText(), files);
}

}  // namespace ql
