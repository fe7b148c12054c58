#include "app/MainForm.h"

#include "app/Anchors.h"
#include "app/ExeDir.h"
#include "app/FixedTexts.h"
#include "app/FrameStyle.h"
#include "app/LogFile.h"
#include "app/LogPane.h"
#include "core/MessageCatalogue.h"
#include "app/WindowPlaces.h"
#include "firmware/FirmwareSources.h"
#include "links/ComPortName.h"
#include "panels/FWLoaderDevGroup.h"
#include "platform/DeviceChange.h"
#include "platform/DeviceEventSocket.h"
#include "platform/UdevMonitor.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSerialPortInfo>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace ql {
namespace {

const QString kWindowFontFamily = QStringLiteral("Tahoma");
constexpr int kWindowPointSize = 8;
constexpr int kCheckBoxPointSize = 10;
constexpr int kTitlePointSize = 12;
constexpr int kValuePointSize = 10;

QLabel* MakeLabel(QWidget* parent, const QRect& place, int pointSize, bool bold, Qt::Alignment alignment)
{
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    label->setAlignment(alignment | Qt::AlignVCenter);
    label->setGeometry(place);
    return label;
}

QCheckBox* MakeCheckBox(QWidget* parent, const QRect& place, bool largeFont)
{
    auto* box = new QCheckBox(parent);
    if (largeFont) {
        QFont font = box->font();
        font.setPointSize(kCheckBoxPointSize);
        box->setFont(font);
    }
    box->setGeometry(place);
    return box;
}

QPushButton* MakeButton(QWidget* parent, const QRect& place)
{
    auto* button = new QPushButton(parent);
    button->setGeometry(place);
    return button;
}

void WriteConsoleLine(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

}  // namespace

TMainForm::TMainForm(const LoaderOptions& options, QWidget* parent)
    : QWidget(parent), options_(options), binders_(SystemDriverBinders()),
      json_(options.json ? std::make_unique<TJsonLog>() : nullptr)
{
    BuildControls();
    WireLiveOptions();
    edFWFile->setEditText(options_.fwFile);
    StartDeviceEvents();
    // Armed from the start: the first pass begins about 100 ms into the message loop.
    DevTimer->start();
}

TMainForm::~TMainForm() { FormDestroy(); }

void TMainForm::BuildControls()
{
    setFont(QFont(kWindowFontFamily, kWindowPointSize));
    setMinimumWidth(kMinimumWidth);
    resize(kDesignClientWidth, kDesignClientHeight);
    move(0, 0);

    gbFile = new QGroupBox(this);
    gbFile->setFixedHeight(kConfigBoxHeight);
    gbFile->resize(kDesignClientWidth, kConfigBoxHeight);
    updateDevices = MakeButton(gbFile, place::kUpdateDevices);
    updateDevices->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    edFWFile = new QComboBox(gbFile);
    edFWFile->setEditable(true);
    edFWFile->setCompleter(nullptr);
    edFWFile->setInsertPolicy(QComboBox::NoInsert);
    edFWFile->setGeometry(place::kFileName);
    btnFwOpen = MakeButton(gbFile, place::kOpenButton);
    btnFwLoad = MakeButton(gbFile, place::kReadButton);
    lblFileDate = MakeLabel(gbFile, place::kDateTitle, kTitlePointSize, false, Qt::AlignLeft);
    lblFirmwDate = MakeLabel(gbFile, place::kDateValue, kValuePointSize, true, Qt::AlignLeft);
    lblFileVersion = MakeLabel(gbFile, {0, place::kVersionTitleTop, place::kVersionTitleRight, place::kVersionTitleHeight},
                               kTitlePointSize, false, Qt::AlignRight);
    lblFileVer = MakeLabel(gbFile, {0, place::kVersionValueTop, place::kVersionValueRight, place::kVersionValueHeight},
                           kValuePointSize, true, Qt::AlignRight);
    cbAutoWrite = MakeCheckBox(gbFile, place::kAutoWrite, true);
    cbStartApp = MakeCheckBox(gbFile, place::kStartApp, true);
    cbStartLoader = MakeCheckBox(gbFile, place::kStartLoader, true);
    cbDisableFTDI = MakeCheckBox(gbFile, place::kDisableFtdi, true);
    cbWritelogToFile = MakeCheckBox(gbFile, place::kWriteLogToFile, true);
    isNeedComPort = MakeCheckBox(gbFile, place::kNeedComPort, false);
    COMportsComboBox = new QComboBox(gbFile);
    COMportsComboBox->setEditable(true);
    COMportsComboBox->setInsertPolicy(QComboBox::NoInsert);
    COMportsComboBox->setGeometry(place::kComPorts);
    cbAutoClose = MakeCheckBox(gbFile, place::kAutoClose, true);
    cbExternFirmware = MakeCheckBox(gbFile, place::kExternFirmware, true);

    // The names of the window description, for diagnostics and tests.
    const std::pair<QWidget*, const char*> names[] = {
        {gbFile, "gbFile"}, {updateDevices, "updateDevices"}, {edFWFile, "edFWFile"}, {btnFwOpen, "btnFwOpen"},
        {btnFwLoad, "btnFwLoad"}, {lblFileDate, "lblFileDate"}, {lblFirmwDate, "lblFirmwDate"},
        {lblFileVersion, "lblFileVersion"}, {lblFileVer, "lblFileVer"}, {cbAutoWrite, "cbAutoWrite"},
        {cbStartApp, "cbStartApp"}, {cbStartLoader, "cbStartLoader"}, {cbDisableFTDI, "cbDisableFTDI"},
        {cbWritelogToFile, "cbWritelogToFile"}, {isNeedComPort, "isNeedComPort"},
        {COMportsComboBox, "COMportsComboBox"}, {cbAutoClose, "cbAutoClose"}, {cbExternFirmware, "cbExternFirmware"},
    };
    for (const auto& [widget, name] : names)
        widget->setObjectName(name);

    // Once the box's controls have their fonts: a style sheet set before them would have
    // them take the application's font instead of the window's.
    gbFile->setStyleSheet(kCaptionOnFrameStyle);

    anchors_ = new TAnchorKeeper(gbFile, kDesignClientWidth);
    anchors_->Add(edFWFile, akLeftRight);
    anchors_->Add(btnFwOpen, akRight);
    anchors_->Add(btnFwLoad, akRight);
    anchors_->Add(lblFileVersion, akRight);
    anchors_->Add(lblFileVer, akRight);

    Panel1 = new QWidget(this);
    Splitter1 = new QSplitter(Qt::Vertical, Panel1);
    Splitter1->setHandleWidth(kSplitterWidth);
    Splitter1->setOpaqueResize(true);
    Splitter1->setChildrenCollapsible(false);
    ScrollBox1 = new QScrollArea(Splitter1);
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(true);
    DevPanel = new QWidget;
    DevPanel->setMinimumHeight(kDevPanelMinHeight);
    auto* panels = new QVBoxLayout(DevPanel);
    panels->setContentsMargins(kPanelMargin, kPanelMargin, kPanelMargin, kPanelMargin);
    panels->setSpacing(2 * kPanelMargin);
    panels->addStretch(1);
    ScrollBox1->setWidget(DevPanel);
    reLog = new TLogPane(Splitter1);
    Splitter1->addWidget(ScrollBox1);
    Splitter1->addWidget(reLog);
    // The log is aligned to the bottom: a taller window gives the panels the room.
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({kDesignClientHeight - kConfigBoxHeight - kDesignLogHeight - kSplitterWidth,
                         kDesignLogHeight});
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(Splitter1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(gbFile);
    layout->addWidget(Panel1, 1);

    DevTimer = new QTimer(this);
    DevTimer->setSingleShot(true);
    DevTimer->setInterval(kDevTimerMs);

    connect(DevTimer, &QTimer::timeout, this, &TMainForm::DevTimerTimer);
    connect(updateDevices, &QPushButton::clicked, this, &TMainForm::updateDevicesClick);
    connect(btnFwOpen, &QPushButton::clicked, this, &TMainForm::btnFwOpenClick);
    connect(btnFwLoad, &QPushButton::clicked, this, &TMainForm::btnFwLoadClick);
    connect(cbExternFirmware, &QCheckBox::clicked, this, &TMainForm::cbExternFirmwareClick);
    connect(isNeedComPort, &QCheckBox::toggled, this, &TMainForm::isNeedComPortClick);
    // A port the user picks from the list, or a name typed and confirmed; a refill of
    // the list is no choice of the user's.
    connect(COMportsComboBox, &QComboBox::activated, this, &TMainForm::COMportsComboBoxChange);
    connect(COMportsComboBox->lineEdit(), &QLineEdit::editingFinished, this, [this] {
        if (COMportsComboBox->lineEdit()->isModified()) {
            COMportsComboBox->lineEdit()->setModified(false);
            COMportsComboBoxChange();
        }
    });
}

void TMainForm::WireLiveOptions()
{
    const auto follow = [this](QCheckBox* box, std::atomic<bool>& option) {
        connect(box, &QCheckBox::toggled, this, [&option](bool on) { option.store(on); });
    };
    follow(cbStartLoader, live_.StartLoader);
    follow(cbStartApp, live_.StartApp);
    follow(isNeedComPort, live_.UseComPort);
    follow(cbDisableFTDI, live_.DisableFtdi);
    follow(cbAutoWrite, live_.AutoWrite);
    connect(COMportsComboBox, &QComboBox::currentTextChanged, this,
            [this](const QString& name) { live_.SetComPortName(name); });
}

void TMainForm::StartDeviceEvents()
{
    udev_ = new TUdevMonitor(this);
    udev_->Start();
    eventSocket_ = new TDeviceEventSocket(this);
    eventSocket_->BindFromEnvironment();
    connect(udev_, &TUdevMonitor::DeviceChange, this, &TMainForm::OnDeviceChange);
    connect(eventSocket_, &TDeviceEventSocket::DeviceChange, this, &TMainForm::OnDeviceChange);
}

void TMainForm::SetCaptions()
{
    setWindowTitle(WindowCaption(CurrentLanguage()));
    gbFile->setTitle(Msg(msg::ConfigurationCaption));
    updateDevices->setText(Msg(msg::UpdateDevicesCaption));
    btnFwOpen->setText(kOpenButtonText);
    btnFwOpen->setToolTip(kOpenButtonHint);
    btnFwLoad->setText(Msg(msg::ReadButton));
    lblFileDate->setText(Msg(msg::CreationDateCaption));
    lblFileVersion->setText(Msg(msg::ImageVersionCaption));
    if (lblFirmwDate->text().isEmpty())
        lblFirmwDate->setText(kNotLoadedYet);
    if (lblFileVer->text().isEmpty())
        lblFileVer->setText(kNotLoadedYet);
    cbAutoWrite->setText(Msg(msg::AutoWriteCaption));
    cbStartApp->setText(Msg(msg::StartAppCaption));
    cbStartLoader->setText(Msg(msg::StartLoaderCaption));
    cbDisableFTDI->setText(Msg(msg::DisableFtdiCaption));
    cbWritelogToFile->setText(Msg(msg::WriteLogCaption));
    isNeedComPort->setText(Msg(msg::ComPortCaption));
    cbAutoClose->setText(Msg(msg::AutoCloseCaption));
    cbExternFirmware->setText(Msg(msg::ExternFirmwareCaption));
    reLog->SetTabStopAfter({WidestDevicePrefix(), DevicePrefix(0).section(u'\t', 0, 0)});
    FitControlsToTexts();
}

void TMainForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    FormShow();
    WatchForFrame();
}

void TMainForm::FormShow()
{
    if (exeDir_.isEmpty())
        exeDir_ = ResolveExeDir();
    started_ = true;
    LoadSettings();
    SetCaptions();
    isNeedComPortClick();
    FillComPortList();
    btnFwLoadClick();
    edFWFile->view()->setMinimumWidth(kFileListDropWidth);
    if (!CheckDriverLibraries(binders_, *this)) {
        // Also in the log, so an unattended run (console, log file) says why it ended.
        LogCatalogue(*this, lkError, msg::NoDriverAtAll);
        ShowErrorBox(Msg(msg::NoDriverAtAll));
        // After the show has finished; the program then ends with -1.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
    if (!options_.externFirmware)
        edFWFile->setEditText(QString());
    ApplyFileControlsVisibility();
}

void TMainForm::ShowErrorBox(const QString& text)
{
    if (errorBox_) {
        errorBox_(kMessageBoxCaption, text);
        return;
    }
    QMessageBox::critical(this, kMessageBoxCaption, text);
}

void TMainForm::ApplyFileControlsVisibility()
{
    const bool visible = options_.externFirmware && !options_.fileOnCommandLine;
    edFWFile->setVisible(visible);
    btnFwLoad->setVisible(visible);
    btnFwOpen->setVisible(visible);
}

void TMainForm::cbExternFirmwareClick()
{
    options_.externFirmware = cbExternFirmware->isChecked();
    ApplyFileControlsVisibility();
}

void TMainForm::isNeedComPortClick() { COMportsComboBox->setEnabled(isNeedComPort->isChecked()); }

void TMainForm::COMportsComboBoxChange() { btnFwLoadClick(); }

void TMainForm::FillComPortList()
{
    COMportsComboBox->clear();
    QStringList names;
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts())
        names << port.portName();
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    // The port named on the command line stays first, in the letter case it was typed,
    // and is not listed twice under another of its names ("/dev/ttyUSB0", "ttyUSB0").
    if (!options_.comportName.isEmpty()) {
        const QString path = ComPortDevicePath(options_.comportName);
        names.removeIf([&](const QString& name) { return ComPortDevicePath(name) == path; });
        names.prepend(options_.comportName);
    }
    COMportsComboBox->addItems(names);
    COMportsComboBox->setCurrentIndex(names.isEmpty() ? -1 : 0);
}

void TMainForm::OnDeviceChange(int eventCode)
{
    // The debounce counts from the notification itself, not from the end of the port
    // enumeration below, which can take tens of milliseconds.
    if (!isNeedComPort->isChecked() && eventCode == kDevNodesChanged)
        RestartDevTimer();
    FillComPortList();
}

void TMainForm::RestartDevTimer()
{
    DevTimer->stop();
    DevTimer->start();
}

void TMainForm::DevTimerTimer()
{
    DevTimer->stop();
    if (commands_)
        commands_->StartDiscovery();
}

void TMainForm::updateDevicesClick()
{
    {
        QMutexLocker locker(&devices_.Lock);
        // An entry whose write session still runs is kept: the session uses it, and its
        // end removes it when the device has gone.
        std::erase_if(devices_.Entries, [](const std::unique_ptr<TDevEntry>& entry) {
            return entry->Writer.load() == nullptr;
        });
        AdjustDevPanelHeight(int(devices_.Entries.size()));
    }
    RestartDevTimer();
}

void TMainForm::btnFwOpenClick()
{
    const QString proposed = edFWFile->currentText();
    const QString chosen = chooseFile_
        ? chooseFile_(proposed)
        : QFileDialog::getOpenFileName(this, QString(), proposed, kFirmwareFileFilter);
    if (chosen.isEmpty())
        return;
    edFWFile->setEditText(chosen);
    btnFwLoadClick();
}

void TMainForm::btnFwLoadClick()
{
    if (isNeedComPort->isChecked())
        RestartDevTimer();
    FirmwareList list;
    bool loaded = false;
    try {
        loaded = LoadFirmware(list, currentVersion_);
    } catch (const TFirmwareBlockTooBig& tooBig) {
        ShowErrorBox(tooBig.Text());
    }
    if (loaded && !firmwareFromResource_) {
        const QString file = edFWFile->currentText();
        if (edFWFile->findText(file, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
            edFWFile->insertItem(0, file);
            edFWFile->setEditText(file);
        }
    }
}

bool TMainForm::LoadFirmware(FirmwareList& list, TFirmwareVersion& version)
{
    list.clear();
    bool loaded = false;
    if (options_.externFirmware) {
        firmwareFromResource_ = false;
        loaded = LoadFirmwareFromFile(edFWFile->currentText(), list, version, *this);
    } else {
        loaded = LoadFirmwareFromResource(list, version, *this);
        firmwareFromResource_ = loaded;
    }
    if (!loaded) {
        list.clear();
        LogCatalogue(*this, lkError, msg::FirmwareLoadError);
        return false;
    }
    loadedImage_ = version;
    lblFileVer->setText(VersionText(version));
    lblFirmwDate->setText(DateText(version));
    FitControlsToTexts();
    if (firmwareFromResource_)
        LogCatalogue(*this, lkInfo, msg::FirmwareLoadedFromResource);
    else
        LogDeviceText(lkInfo, 0, Msg(msg::FirmwareLoadedFromFile) + edFWFile->currentText() + u'"');
    ql::LogDeviceMessage(*this, lkInfo, 0, msg::ImageVersionIs, VersionText(version));
    ql::LogDeviceMessage(*this, lkInfo, 0, msg::ImageDateIs, DateText(version));
    return true;
}

void TMainForm::CreateDevicePanel(TDevEntry& entry)
{
    const int top = int(devices_.Entries.size()) * kPanelTopStep;
    const QString bootloader = entry.InBootloader ? VersionText(entry.BootloaderVersion) : QString();
    auto panel = std::make_unique<TFWLoaderDevGroup>(DevPanel, top, QString::number(entry.SerialNumber),
                                                     VersionText(entry.FirmwareVersion), bootloader);
    panel->OnUpdateClicked([this, device = &entry] {
        if (commands_)
            commands_->UpdateButtonClick(*device);
    });
    entry.Panel = std::move(panel);
    if (json_)
        json_->Found(entry);
}

void TMainForm::SetStatus(TDevEntry& entry, const QString& text, TLogKind kind)
{
    SetPanelStatus(entry, text, kind);
    if (json_)
        json_->Status(entry.SerialNumber, kind, text);
}

void TMainForm::ProgressParts(TDevEntry& entry, uint32_t done, uint32_t total, int percent)
{
    if (json_)
        json_->Progress(entry.SerialNumber, done, total, percent);
}

void TMainForm::DeviceGone(TDevEntry& entry)
{
    if (json_)
        json_->Gone(entry);
}

void TMainForm::SessionEnded(TDevEntry& entry, const TWriteOutcome& outcome)
{
    if (json_)
        json_->SessionEnded(entry, outcome);
}

void TMainForm::SetProgress(TDevEntry& entry, int percent)
{
    if (TFWLoaderDevGroup* panel = PanelOf(entry))
        panel->SetProgress(percent);
}

void TMainForm::EnableUpdate(TDevEntry& entry, bool enabled)
{
    if (TFWLoaderDevGroup* panel = PanelOf(entry))
        panel->EnableUpdate(enabled);
}

void TMainForm::AdjustDevPanelHeight(int entryCount)
{
    DevPanel->setMinimumHeight(entryCount > 0 ? entryCount * kPanelPitch : kDevPanelMinHeight);
}

bool TMainForm::AutoCloseApplies() const { return options_.autoClose || cbAutoClose->isChecked(); }

void TMainForm::CloseAfterSuccessfulWrite()
{
    exitCode_ = 1;
    close();
}

void TMainForm::LogText(TLogKind kind, const QString& line)
{
    reLog->AppendLine(kind, line);
    if (cbWritelogToFile->isChecked() && !exeDir_.isEmpty())
        AppendLogFile(exeDir_, line);
    // One format a stream: with "json" standard output carries the JSON lines only.
    if (options_.console && !json_)
        WriteConsoleLine(line);
}

void TMainForm::LogLine(TLogKind kind, int device, int message, const QString& text)
{
    LogText(kind, DevicePrefix(device) + text);
    if (json_)
        json_->Line(kind, device, message, text);
}

void TMainForm::LogDeviceText(TLogKind kind, int device, const QString& text)
{
    LogLine(kind, device, kNoCatalogueMessage, text);
}

void TMainForm::LogMessageText(TLogKind kind, int device, int message, const QString& text)
{
    LogLine(kind, device, message, text);
}

int TMainForm::LogHeight() const { return reLog->height(); }

void TMainForm::SetLogHeight(int height)
{
    const int total = Splitter1->height() - Splitter1->handleWidth();
    Splitter1->setSizes({std::max(0, total - height), height});
}

void TMainForm::FormDestroy()
{
    // First, so that no thread waits on the UI thread any more and none reaches the log,
    // a panel or the device list through it from here on.
    handOver_.Shutdown();
    SaveSettings();
    if (commands_)
        commands_->StopThreads();
    QMutexLocker locker(&devices_.Lock);
    for (const auto& entry : devices_.Entries) {
        if (commands_)
            commands_->CloseLink(*entry);
    }
    devices_.Entries.clear();
    // Last, after every thread has stopped: nothing is logged after the summary. However
    // the run ends (a close, the automatic close, a stop by signal) it comes here.
    if (json_)
        json_->Summary(loadedImage_ ? &*loadedImage_ : nullptr);
}

}  // namespace ql
