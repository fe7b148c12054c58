// The window's side of the settings file: which control each value belongs to.

#include "app/MainForm.h"

#include "app/Settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>

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
    const QString path = SettingsFilePath(m_exeDir);
    EnsureLanguageKey(path);
    const TSettingsValues values = ReadSettingsFile(path);
    SetCurrentLanguage(values.Language);
    edFWFile->addItems(values.Files);
    // addItems on an empty box selects the first item; the file text is decided below.
    if (m_options.fwFile.isEmpty())
        edFWFile->setEditText(values.LastFile);
    else
        edFWFile->setEditText(m_options.fwFile);

    const TMainFormValues apply = ApplicableMainForm(values.MainForm, values.MainFormCount, VirtualDesktopSize());
    // Saved sizes are the outer ones; before the window manager has framed the window
    // the frame adds nothing.
    const QSize frame = frameGeometry().size() - size();
    QPoint corner = pos();
    if (apply[mfLeft] != kMainFormUnset)
        corner.setX(apply[mfLeft]);
    if (apply[mfTop] != kMainFormUnset)
        corner.setY(apply[mfTop]);
    move(corner);
    QSize outer = frameGeometry().size();
    if (apply[mfWidth] != kMainFormUnset)
        outer.setWidth(apply[mfWidth]);
    if (apply[mfHeight] != kMainFormUnset)
        outer.setHeight(apply[mfHeight]);
    resize(outer - frame);
    for (const TBoxField& saved : kSavedBoxes) {
        if (apply[saved.Field] != kMainFormUnset)
            (this->*saved.Box)->setChecked(apply[saved.Field] != 0);
    }
    if (apply[mfLogHeight] != kMainFormUnset)
        SetLogHeight(apply[mfLogHeight]);

    m_savedAutoWrite = cbAutoWrite->isChecked();
    m_savedNeedComPort = isNeedComPort->isChecked();
    // Options tick boxes, never untick them.
    if (m_options.autoWrite)
        cbAutoWrite->setChecked(true);
    if (m_options.disableFtdi)
        cbDisableFTDI->setChecked(true);
    if (m_options.startApp)
        cbStartApp->setChecked(true);
    if (m_options.useStartLoader)
        cbStartLoader->setChecked(true);
    // COM-port mode for this run only, like autowrite.
    if (!m_options.comportName.isEmpty())
        isNeedComPort->setChecked(true);
    if (cbExternFirmware->isChecked())
        cbExternFirmwareClick();
}

void TMainForm::SaveSettings()
{
    // A window whose start-up never ran has no exeDir and nothing to keep.
    if (!m_started)
        return;
    TMainFormValues values = UnsetMainForm();
    const QRect outer = frameGeometry();
    values[mfLeft] = outer.left();
    values[mfTop] = outer.top();
    values[mfWidth] = outer.width();
    values[mfHeight] = outer.height();
    values[mfLogHeight] = LogHeight();
    for (const TBoxField& saved : kSavedBoxes)
        values[saved.Field] = (this->*saved.Box)->isChecked() ? 1 : 0;
    if (m_options.autoWrite)
        values[mfAutoWrite] = m_savedAutoWrite ? 1 : 0;
    if (!m_options.comportName.isEmpty())
        values[mfNeedComPort] = m_savedNeedComPort ? 1 : 0;
    QStringList files;
    for (int i = 0; i < edFWFile->count(); ++i)
        files << edFWFile->itemText(i);
    WriteSettingsFile(SettingsFilePath(m_exeDir), values, edFWFile->currentText(), files);
}

}  // namespace ql
