#include "PanelParts.h"
#include "WindowFixture.h"
#include "app/FixedTexts.h"
#include "firmware/FirmwareSources.h"
#include "links/DriverLibraries.h"
#include "platform/DeviceChange.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QApplication>
#include "panels/FWLoaderDevGroup.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace ql;
using namespace ql::test;

namespace {

const QString kImageVersion = QStringLiteral("QRGX-13.39-a6");
const QString kImageDate = QStringLiteral("04-04-2025 16:56:42");

// ---------------------------------------------------------------- captions

struct TCaptionCase {
    const char* Language;
    int LanguageIndex;
    const char* WindowTitle;
    const char* DeviceListButton;
};

class Captions : public WindowTest, public ::testing::WithParamInterface<TCaptionCase> {};

TEST_P(Captions, EveryCaptionComesFromTheCatalogueInTheChosenLanguage)
{
    const TCaptionCase& c = GetParam();
    WriteIni(QByteArray("[COMMON]\nLanguage=") + c.Language + "\n");
    // A failing load leaves the two value labels as designed.
    LoaderOptions options;
    options.externFirmware = true;
    TMainForm& w = Show(options);
    const auto text = [&](int message) { return MessageText(c.LanguageIndex, message); };

    EXPECT_EQ(CurrentLanguage(), c.LanguageIndex);
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8(c.WindowTitle));
    EXPECT_EQ(w.updateDevices->text(), QString::fromUtf8(c.DeviceListButton));
    EXPECT_EQ(w.gbFile->title(), text(66));
    EXPECT_EQ(w.updateDevices->text(), text(82));
    EXPECT_EQ(w.btnFwLoad->text(), text(68));
    EXPECT_EQ(w.lblFileDate->text(), text(69));
    EXPECT_EQ(w.lblFileVersion->text(), text(70));
    EXPECT_EQ(w.cbAutoWrite->text(), text(71));
    EXPECT_EQ(w.cbStartApp->text(), text(72));
    EXPECT_EQ(w.cbWritelogToFile->text(), text(73));
    EXPECT_EQ(w.cbDisableFTDI->text(), text(77));
    EXPECT_EQ(w.isNeedComPort->text(), text(79));
    EXPECT_EQ(w.cbStartLoader->text(), text(81));
    EXPECT_EQ(w.cbAutoClose->text(), text(83));
    EXPECT_EQ(w.cbExternFirmware->text(), text(84));
    // The window's font, and the larger one of the check boxes other than isNeedComPort.
    EXPECT_EQ(w.updateDevices->font().pointSize(), 8);
    EXPECT_EQ(w.isNeedComPort->font().pointSize(), 8);
    EXPECT_EQ(w.btnFwLoad->font().pointSize(), 8);
    EXPECT_EQ(w.cbAutoWrite->font().pointSize(), 10);
    EXPECT_EQ(w.lblFileDate->font().pointSize(), 12);
    // The same in both languages.
    EXPECT_EQ(w.btnFwOpen->text(), "...");
    EXPECT_EQ(w.btnFwOpen->toolTip(), QString::fromUtf8("Открыть файл прошивки"));
    EXPECT_EQ(w.lblFileVer->text(), QString::fromUtf8("Неизвестна"));
    EXPECT_EQ(w.lblFirmwDate->text(), QString::fromUtf8("Неизвестна"));
}

INSTANTIATE_TEST_SUITE_P(Languages, Captions,
                         ::testing::Values(TCaptionCase{"English", kEnglish, "Quillomar Firmware Loader",
                                                        "Update device list"},
                                           TCaptionCase{"RUSSIAN", kRussian, "Обновление прошивки Quillomar",
                                                        "Обновить список устройств"}));

// ---------------------------------------------------------------- settings

class WindowSettings : public WindowTest {};

TEST_F(WindowSettings, CheckBoxesPlacementAndFilesComeBackAfterASave)
{
    WriteIni("; kept\n[COMMON]\nLanguage=English\nMainForm=10,20,900,640,1,150,1,0,1,0,1,0\n"
             "Other=kept too\nLastFile=/tmp/last.eraw\n[FILES]\n0=/tmp/a.eraw\n1=\n2=/tmp/b.eraw\n");
    TMainForm& w = Show();
    EXPECT_TRUE(w.cbAutoWrite->isChecked());
    EXPECT_TRUE(w.cbWritelogToFile->isChecked());
    EXPECT_FALSE(w.cbStartApp->isChecked());
    EXPECT_TRUE(w.cbDisableFTDI->isChecked());
    EXPECT_FALSE(w.isNeedComPort->isChecked());
    EXPECT_TRUE(w.cbAutoClose->isChecked());
    EXPECT_FALSE(w.cbExternFirmware->isChecked());
    EXPECT_EQ(w.frameGeometry().topLeft(), QPoint(10, 20));
    EXPECT_EQ(w.frameGeometry().size(), QSize(900, 640));
    EXPECT_EQ(w.LogHeight(), 150);
    ASSERT_EQ(w.edFWFile->count(), 2);
    EXPECT_EQ(w.edFWFile->itemText(0), "/tmp/a.eraw");
    EXPECT_EQ(w.edFWFile->itemText(1), "/tmp/b.eraw");
    // The live options follow the boxes.
    EXPECT_TRUE(w.LiveOptions().AutoWrite.load());
    EXPECT_TRUE(w.LiveOptions().DisableFtdi.load());
    EXPECT_FALSE(w.LiveOptions().StartApp.load());

    w.cbStartApp->setChecked(true);
    EXPECT_TRUE(w.LiveOptions().StartApp.load());
    w.cbAutoWrite->setChecked(false);
    Destroy();
    const QByteArray ini = Ini();
    EXPECT_TRUE(ini.startsWith("; kept\n[COMMON]\nLanguage=English\n")) << ini.constData();
    EXPECT_TRUE(ini.contains("MainForm=10,20,900,640,0,150,1,1,1,0,1,0\nOther=kept too\n")) << ini.constData();
    // Built-in image mode empties the file text at start-up.
    EXPECT_TRUE(ini.contains("LastFile=\n")) << ini.constData();
    EXPECT_TRUE(ini.contains("[FILES]\n0=/tmp/a.eraw\n1=/tmp/b.eraw\n2=/tmp/b.eraw\n")) << ini.constData();
}

TEST_F(WindowSettings, OptionsTickBoxesForThisRunOnlyWhereTheyAreNotSaved)
{
    WriteIni("[COMMON]\nLanguage=English\nMainForm=0,0,800,520,0,209,0,0,0,0,0,0\n");
    LoaderOptions options;
    options.autoWrite = true;
    options.startApp = true;
    options.useStartLoader = true;
    options.comportName = "ttyQL9";
    TMainForm& w = Show(options);
    EXPECT_TRUE(w.cbAutoWrite->isChecked());
    EXPECT_TRUE(w.cbStartApp->isChecked());
    EXPECT_TRUE(w.cbStartLoader->isChecked());
    EXPECT_TRUE(w.isNeedComPort->isChecked());
    EXPECT_TRUE(w.COMportsComboBox->isEnabled());
    EXPECT_EQ(w.COMportsComboBox->itemText(0), "ttyQL9");
    EXPECT_EQ(w.COMportsComboBox->currentText(), "ttyQL9");
    EXPECT_TRUE(w.LiveOptions().UseComPort.load());
    EXPECT_TRUE(w.LiveOptions().StartLoader.load());
    EXPECT_EQ(w.LiveOptions().ComPortName(), "ttyQL9");

    // A refill keeps the named port first and selected.
    w.OnDeviceChange(kDevNodesChanged);
    EXPECT_EQ(w.COMportsComboBox->itemText(0), "ttyQL9");
    EXPECT_EQ(w.COMportsComboBox->currentIndex(), 0);
    Destroy();
    // autowrite and comport= leave the saved states; startapp is saved like a tick.
    EXPECT_TRUE(Ini().contains("MainForm=0,0,800,520,0,209,0,1,0,0,0,0\n")) << Ini().constData();
}

TEST_F(WindowSettings, GarbageAndShortValuesChangeNothingThatWasNotGiven)
{
    WriteIni("[COMMON]\nLanguage=English\nMainForm=5,6,820,500,x,1\n");
    TMainForm& w = Show();
    EXPECT_EQ(w.frameGeometry().size(), QSize(820, 500));
    EXPECT_FALSE(w.cbAutoWrite->isChecked());
    EXPECT_EQ(w.LogHeight(), kDesignLogHeight);
    Destroy();

    WriteIni("[COMMON]\nLanguage=English\nMainForm=junk,1,2,3,4\n");
    TMainForm& again = Show();
    EXPECT_EQ(again.frameGeometry().size().width(), kDesignClientWidth + (again.frameGeometry().width() - again.width()));
}

TEST_F(WindowSettings, AFirstRunCreatesTheFileWithAnEmptyLanguage)
{
    Show();
    Destroy();
    const QByteArray ini = Ini();
    EXPECT_TRUE(ini.startsWith("[COMMON]\nLanguage=\n")) << ini.constData();
    EXPECT_TRUE(ini.contains("MainForm=")) << ini.constData();
}

// ---------------------------------------------------------------- the file controls and the Read button

class FileControls : public WindowTest {
protected:
    bool FileControlsShown() const
    {
        return !form->edFWFile->isHidden() && !form->btnFwLoad->isHidden() && !form->btnFwOpen->isHidden();
    }
    bool FileControlsHidden() const
    {
        return form->edFWFile->isHidden() && form->btnFwLoad->isHidden() && form->btnFwOpen->isHidden();
    }
    QString WriteImage(const QString& name, QByteArray bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    void SetUp() override
    {
        WindowTest::SetUp();
        WriteIni("[COMMON]\nLanguage=English\n");
    }
};

TEST_F(FileControls, ShownOnlyForAFileChosenInTheWindow)
{
    TMainForm& w = Show();
    EXPECT_TRUE(FileControlsHidden());
    w.cbExternFirmware->click();
    EXPECT_TRUE(w.Options().externFirmware);
    EXPECT_TRUE(FileControlsShown());
    w.cbExternFirmware->click();
    EXPECT_FALSE(w.Options().externFirmware);
    EXPECT_TRUE(FileControlsHidden());
}

TEST_F(FileControls, AFileOnTheCommandLineKeepsThemHidden)
{
    LoaderOptions options;
    options.fwFile = WriteImage("Image.ERAW", EmbeddedImage());
    options.fileOnCommandLine = options.externFirmware = true;
    TMainForm& w = Show(options);
    EXPECT_TRUE(FileControlsHidden());
    EXPECT_EQ(w.edFWFile->currentText(), options.fwFile);
    EXPECT_TRUE(LogLines().contains(NoDeviceLine(Msg(msg::FirmwareLoadedFromFile) + options.fwFile + '"')));
    w.cbExternFirmware->click();
    EXPECT_TRUE(FileControlsHidden());
}

TEST_F(FileControls, TheBuiltInImageIsLoadedAtStartAndNotListed)
{
    TMainForm& w = Show();
    EXPECT_EQ(LogLines(), QStringList({NoDevice(msg::FirmwareLoadedFromResource),
                                       NoDeviceLine("Firmware version \"" + kImageVersion + '"'),
                                       NoDeviceLine("Date of compilation \"" + kImageDate + '"')}));
    EXPECT_EQ(w.lblFileVer->text(), kImageVersion);
    EXPECT_EQ(w.lblFirmwDate->text(), kImageDate);
    EXPECT_TRUE(w.FirmwareFromResource());
    EXPECT_EQ(w.edFWFile->count(), 0);
    EXPECT_EQ(LineColour(0), QColor(0, 0, 0));
}

TEST_F(FileControls, AFileIsListedOnceExactlyAsTyped)
{
    TMainForm& w = Show();
    w.cbExternFirmware->click();
    const QString path = WriteImage("fw.eraw", EmbeddedImage());
    const QString otherCase = WriteImage("FW.eraw", EmbeddedImage());
    w.edFWFile->setEditText(path);
    w.btnFwLoad->click();
    w.btnFwLoad->click();
    w.edFWFile->setEditText(otherCase);
    w.btnFwLoad->click();
    ASSERT_EQ(w.edFWFile->count(), 2);
    EXPECT_EQ(w.edFWFile->itemText(0), otherCase);
    EXPECT_EQ(w.edFWFile->itemText(1), path);
    EXPECT_EQ(w.edFWFile->currentText(), otherCase);
    EXPECT_FALSE(w.FirmwareFromResource());
}

TEST_F(FileControls, AFailedLoadKeepsTheLabelsAndListsNothing)
{
    TMainForm& w = Show();
    w.cbExternFirmware->click();
    QByteArray bad = EmbeddedImage();
    bad[4] = char(bad[4] ^ 0x55);  // the stored checksum (the sum covers the header only)
    const QString badPath = WriteImage("bad.eraw", bad);
    const int before = int(LogLines().size());

    w.edFWFile->setEditText(QString());
    w.btnFwLoad->click();
    w.edFWFile->setEditText(badPath);
    w.btnFwLoad->click();
    w.edFWFile->setEditText(dir.path());  // a directory is no image
    w.btnFwLoad->click();
    EXPECT_EQ(LogLines().mid(before),
              QStringList({NoDeviceLine("Firmware loading: File  not found"),
                           NoDevice(msg::FirmwareLoadError), NoDevice(msg::ChecksumError),
                           NoDevice(msg::FirmwareLoadError),
                           NoDeviceLine("Firmware loading: File " + dir.path() + " not found"),
                           NoDevice(msg::FirmwareLoadError)}));
    EXPECT_EQ(LineColour(before + 1), QColor(255, 0, 0));
    EXPECT_EQ(w.lblFileVer->text(), kImageVersion);
    EXPECT_EQ(w.edFWFile->count(), 0);
}

TEST_F(FileControls, TheFileDialogProposesTheFieldAndLoadsTheChoice)
{
    TMainForm& w = Show();
    w.cbExternFirmware->click();
    const QString path = WriteImage("chosen.eraw", EmbeddedImage());
    QStringList proposed;
    QString answer;
    w.SetFileChooser([&](const QString& name) {
        proposed << name;
        return answer;
    });
    w.edFWFile->setEditText("/nowhere.eraw");
    w.btnFwOpen->click();  // cancelled
    EXPECT_EQ(w.edFWFile->currentText(), "/nowhere.eraw");
    EXPECT_EQ(w.edFWFile->count(), 0);
    answer = path;
    w.btnFwOpen->click();
    EXPECT_EQ(proposed, QStringList({"/nowhere.eraw", "/nowhere.eraw"}));
    EXPECT_EQ(w.edFWFile->itemText(0), path);
}

TEST_F(FileControls, InComPortModeReadRestartsTheDeviceTimer)
{
    TMainForm& w = Show();
    ASSERT_TRUE(PumpUntil([&] { return !w.DevTimer->isActive(); }));
    w.btnFwLoad->click();
    EXPECT_FALSE(w.DevTimer->isActive());
    w.isNeedComPort->setChecked(true);
    w.btnFwLoad->click();
    EXPECT_TRUE(w.DevTimer->isActive());
}

// ---------------------------------------------------------------- driver check

struct TDriverLine {
    int Message;
    QColor Colour;
};

struct TDriverCase {
    bool Ftdi;
    bool Qlusb;
    std::vector<TDriverLine> Lines;  // after the three lines of the image
};

// FTDI trackers stay reachable through the kernel's driver, so no combination of missing
// libraries ends the program any more.
class DriverCheck : public WindowTest, public ::testing::WithParamInterface<TDriverCase> {};

TEST_P(DriverCheck, ReportsAMissingLibraryAndKeepsTheWindow)
{
    const TDriverCase& c = GetParam();
    WriteIni("[COMMON]\nLanguage=English\n");
    binders = {[&] { return c.Ftdi; }, [&] { return c.Qlusb; }};
    TMainForm& w = Show();
    Pump();
    QStringList expected;
    for (const TDriverLine& line : c.Lines)
        expected << NoDevice(line.Message);
    EXPECT_EQ(LogLines().mid(3), expected);
    for (int i = 0; i < int(expected.size()); ++i)
        EXPECT_EQ(LineColour(3 + i), c.Lines[size_t(i)].Colour);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.ExitCode(), -1);
}

const QColor kRed(255, 0, 0), kBlack(0, 0, 0);

INSTANTIATE_TEST_SUITE_P(
    Libraries, DriverCheck,
    ::testing::Values(TDriverCase{true, true, {}},
                      TDriverCase{false, true, {{msg::FtdiThroughSystemDriver, kBlack}}},
                      TDriverCase{true, false, {{msg::MakerDriverMissing, kRed}}},
                      TDriverCase{false, false,
                                  {{msg::FtdiThroughSystemDriver, kBlack}, {msg::MakerDriverMissing, kRed}}}));

TEST_F(WindowTest, WithNoLibraryOnTheSystemTheWindowStaysAndSaysHowBridgesAreReached)
{
    if (LoadFtdiLibrary() || LoadQlusbLibrary())
        GTEST_SKIP() << "a driver library is on the library path";
    WriteIni("[COMMON]\nLanguage=English\n");
    form = std::make_unique<TMainForm>(LoaderOptions{});
    form->SetExeDir(ExeDir());  // the system's own binders
    bool boxShown = false;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxShown = true;
            box->accept();
        }
    });
    form->show();
    Pump();
    EXPECT_FALSE(boxShown);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(LogLines().contains(NoDevice(msg::FtdiThroughSystemDriver)));
    EXPECT_TRUE(LogLines().contains(NoDevice(msg::MakerDriverMissing)));
    form->close();
    EXPECT_EQ(form->ExitCode(), -1);
}

// ---------------------------------------------------------------- device changes and the timer

class DeviceChanges : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        WriteIni("[COMMON]\nLanguage=English\n");
        socketPath = dir.filePath("events");
        qputenv(kDeviceEventsVariable, QFile::encodeName(socketPath));
        commands.Discovery = [this] { ++passes; };
        Make().SetCommands(&commands);
        qunsetenv(kDeviceEventsVariable);
        Show();
        // The timer is armed from the start: the first pass.
        EXPECT_TRUE(PumpUntil([&] { return passes == 1; }));
    }
    void Send(const QByteArray& datagram)
    {
        const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(socketPath);
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        EXPECT_EQ(::sendto(fd, datagram.constData(), size_t(datagram.size()), 0,
                           reinterpret_cast<const sockaddr*>(&address), sizeof(address)),
                  datagram.size());
        ::close(fd);
    }

    QString socketPath;
    int passes = 0;
};

TEST_F(DeviceChanges, ABurstOfDatagramsGivesOnePass)
{
    Send("7");
    Send("7\n");
    Send("7");
    ASSERT_TRUE(PumpUntil([&] { return form->DevTimer->isActive(); }));
    ASSERT_TRUE(PumpUntil([&] { return passes == 2; }));
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(passes, 2);
}

TEST_F(DeviceChanges, OtherCodesGarbageAndComPortModeStartNoPass)
{
    form->COMportsComboBox->addItem("ttyStale");
    Send("3");
    ASSERT_TRUE(PumpUntil([&] { return form->COMportsComboBox->findText("ttyStale") < 0; }));
    Send("seven");
    Send("");
    form->isNeedComPort->setChecked(true);
    Send("7");
    PumpUntil([] { return false; }, 300);
    EXPECT_FALSE(form->DevTimer->isActive());
    EXPECT_EQ(passes, 1);
}

TEST_F(DeviceChanges, UpdateDevicesFreesEveryEntryNotBeingWrittenAndSearchesAgain)
{
    TMainForm& w = *form;
    auto add = [&](int serial) -> TDevEntry& {
        QMutexLocker locker(&w.DeviceList().Lock);
        auto& entry = *w.DeviceList().Entries.emplace_back(std::make_unique<TDevEntry>(serial, lkFtdi));
        w.CreateDevicePanel(entry);
        return entry;
    };
    add(101);
    TDevEntry& written = add(102);
    add(103);
    w.AdjustDevPanelHeight(3);
    EXPECT_EQ(w.DevPanel->minimumHeight(), 3 * 96);
    // A session that is never asked to stop here: the button only tests Writer for null.
    struct TIdleSession final : TSessionControl {
        void RequestStop() override {}
    } session;
    written.Writer = &session;

    w.updateDevices->click();
    ASSERT_EQ(w.DeviceList().Entries.size(), 1u);
    EXPECT_EQ(w.DeviceList().Entries[0]->SerialNumber, 102);
    EXPECT_EQ(w.DevPanel->findChildren<QGroupBox*>().size(), 1);
    EXPECT_EQ(w.DevPanel->minimumHeight(), 96);
    EXPECT_TRUE(w.DevTimer->isActive());
    ASSERT_TRUE(PumpUntil([&] { return passes == 2; }));
    written.Writer = nullptr;
    w.updateDevices->click();
    EXPECT_TRUE(w.DeviceList().Entries.empty());
    EXPECT_EQ(w.DevPanel->minimumHeight(), 90);
}

TEST_F(DeviceChanges, TheSocketFileGoesWithTheWindow)
{
    EXPECT_TRUE(QFileInfo::exists(socketPath));
    Destroy();
    EXPECT_FALSE(QFileInfo::exists(socketPath));
}

// ---------------------------------------------------------------- panels through the window, the close

TEST_F(WindowTest, APanelButtonCallsTheControllersWithItsEntry)
{
    WriteIni("[COMMON]\nLanguage=English\n");
    std::vector<int> pressed;
    commands.UpdateButton = [&](TDevEntry& entry) { pressed.push_back(entry.SerialNumber); };
    Make().SetCommands(&commands);
    TMainForm& w = Show();
    TDevEntry& entry = *w.DeviceList().Entries.emplace_back(std::make_unique<TDevEntry>(705, lkMakerUsb));
    entry.InBootloader = true;
    ParseVersion(entry.BootloaderVersion, "STL4-1.05TR");
    ParseVersion(entry.FirmwareVersion, "QRGX-13.38");
    w.CreateDevicePanel(entry);
    ASSERT_NE(PanelOf(entry), nullptr);
    const TPanelParts panel(*PanelOf(entry));
    EXPECT_EQ(panel.Box->y(), kPanelMargin);
    EXPECT_EQ(panel.BootloaderValue->text(), "STL4-1.05TR");
    EXPECT_EQ(panel.FirmwareValue->text(), "QRGX-13.38");
    w.EnableUpdate(entry, true);
    panel.UpdateButton->click();
    EXPECT_EQ(pressed, std::vector<int>({705}));
}

TEST_F(WindowTest, AutomaticCloseAfterAWriteSetsExitCodeOne)
{
    WriteIni("[COMMON]\nLanguage=English\n");
    TMainForm& w = Show();
    EXPECT_FALSE(w.AutoCloseApplies());
    w.cbAutoClose->setChecked(true);
    EXPECT_TRUE(w.AutoCloseApplies());
    w.CloseAfterSuccessfulWrite();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.ExitCode(), 1);

    Destroy();
    LoaderOptions options;
    options.autoClose = true;
    EXPECT_TRUE(Show(options).AutoCloseApplies());
}

}  // namespace
