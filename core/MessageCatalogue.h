#pragma once
// The numbered two-language catalogue of every text the loader shows or writes.

#include <QString>

namespace ql {

inline constexpr int kRussian = 0;
inline constexpr int kEnglish = 1;
inline constexpr int kLanguageCount = 2;
inline constexpr int kMessageCount = 94;  // numbers 0..93

// Every message by name: code outside the catalogue never writes a message number.
namespace msg {
inline constexpr int FtdiDriverMissing = 0;
inline constexpr int MakerDriverMissing = 1;
inline constexpr int NoDriverAtAll = 2;
inline constexpr int DevicePrefix = 3;
inline constexpr int NoDevicePrefix = 4;
inline constexpr int SearchError = 5;
inline constexpr int DeviceDisconnected = 6;
inline constexpr int DeviceConnected = 7;
inline constexpr int FirmwareVersionIs = 8;
inline constexpr int BootloaderVersionIs = 9;
inline constexpr int ProcessorIdIs = 10;
inline constexpr int ModeFirmware = 11;
inline constexpr int ModeBootloader = 12;
inline constexpr int ReconnectHint = 13;
inline constexpr int DeviceObjectNotFound = 14;
inline constexpr int StartingUpdate = 15;
inline constexpr int StatusUpdating = 16;        // panel status while a session runs
inline constexpr int AlreadyWriting = 17;
inline constexpr int StatusLocked = 18;          // panel status: the device refused as locked
inline constexpr int StatusNotCompatible = 19;   // panel status: image and device do not match
inline constexpr int StatusUpdateError = 20;     // panel status: any other failed session
inline constexpr int SettingsProtected = 21;
inline constexpr int NotCompatible = 22;
inline constexpr int UpdateError = 23;
inline constexpr int StatusUpdateDone = 24;      // panel status after a completed session
inline constexpr int UpdateDone = 25;
inline constexpr int FirmwareLoadedFromResource = 26;
inline constexpr int FirmwareLoadedFromFile = 27;
inline constexpr int ImageVersionIs = 28;
inline constexpr int ImageDateIs = 29;
inline constexpr int FirmwareLoadError = 30;
inline constexpr int FirmwareFileNotFound = 31;
inline constexpr int DateDecodeError = 32;
inline constexpr int ChecksumError = 33;
inline constexpr int WrongSize = 34;
inline constexpr int SearchException = 36;
inline constexpr int DriverError = 37;
inline constexpr int NoProcessorIdReply = 38;
inline constexpr int SendingLoaderStart = 39;
inline constexpr int LoaderStartDone = 40;
inline constexpr int BootloaderError = 41;
inline constexpr int UnknownReply = 42;
inline constexpr int NoReply = 43;
inline constexpr int PanelCaption = 44;          // followed by the serial number, no space
inline constexpr int SerialCaption = 45;
inline constexpr int FirmwareCaption = 46;
inline constexpr int BootloaderCaption = 47;
inline constexpr int UpdateButton = 48;
inline constexpr int Unknown = 49;
inline constexpr int BlockTooBig = 50;
inline constexpr int UpdatingSectors = 51;
inline constexpr int CannotOpenDevice = 52;
inline constexpr int UpdatingSector = 53;
inline constexpr int SectorEmpty = 54;
inline constexpr int StartingApplication = 55;
inline constexpr int UnknownProcessor = 56;
inline constexpr int ErasingSector = 57;
inline constexpr int EraseProtected = 58;
inline constexpr int EraseOk = 59;
inline constexpr int EraseFailed = 60;
inline constexpr int RecordingSector = 61;
inline constexpr int RecordingPart = 62;
inline constexpr int WriteProtected = 63;
inline constexpr int SectorRecorded = 64;
inline constexpr int RecordingError = 65;
inline constexpr int ConfigurationCaption = 66;
inline constexpr int FileCaption = 67;
inline constexpr int ReadButton = 68;
inline constexpr int CreationDateCaption = 69;
inline constexpr int ImageVersionCaption = 70;
inline constexpr int AutoWriteCaption = 71;
inline constexpr int StartAppCaption = 72;
inline constexpr int WriteLogCaption = 73;
inline constexpr int NoCompatibilityReply = 74;
inline constexpr int FirmwareTooOld = 75;
inline constexpr int SdNotCompatible = 76;
inline constexpr int DisableFtdiCaption = 77;
inline constexpr int LoaderStarting = 78;
inline constexpr int ComPortCaption = 79;
inline constexpr int LoaderStartError = 80;
inline constexpr int StartLoaderCaption = 81;
inline constexpr int UpdateDevicesCaption = 82;
inline constexpr int AutoCloseCaption = 83;
inline constexpr int ExternFirmwareCaption = 84;
inline constexpr int Usage = 85;
inline constexpr int ComPortCannotOpen = 86;
inline constexpr int ComPortAccess = 87;
inline constexpr int ComPortNotExclusive = 88;
inline constexpr int ComPortFailed = 89;
inline constexpr int FtdiThroughSystemDriver = 90;
inline constexpr int BridgeLatencyWait = 91;
inline constexpr int BridgeCannotOpen = 92;
inline constexpr int BridgeAccess = 93;
}  // namespace msg

// The text of a message in a language. Table texts live as long as the program.
QString MessageText(int language, int number);

// The language every caller passes: set once at start-up, before any background
// thread exists, then only read.
int CurrentLanguage();
void SetCurrentLanguage(int language);

// MessageText(CurrentLanguage(), number).
QString Msg(int number);

}  // namespace ql
