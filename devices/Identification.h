#pragma once
// Identification of a newly found device on the discovery pass's thread: is it in its
// bootloader or its application firmware, which versions and processor does it report,
// and, for a device in its application, the request to restart into its bootloader.
//
// Two dialogues over the same link: the bootloader's binary records (requests 4, 5, 10)
// and the application's text commands. Results go into the entry; errors that spoil the
// pass into the context's ErrorCode.

#include "devices/DevEntry.h"
#include "devices/PassContext.h"

#include <QByteArray>

#include <cstdint>

namespace ql {

// Reply time-outs of identification, in milliseconds.
inline constexpr uint32_t kFirmwareVersionTimeoutMs = 100;
inline constexpr uint32_t kNrfFirmwareVersionTimeoutMs = 1000;
inline constexpr uint32_t kVersionTextTimeoutMs = 2000;
inline constexpr int kVersionTextAttempts = 4;
inline constexpr int kVersionTextMaxBytes = 100;
inline constexpr int kVersionTextMinBytes = 8;   // anything shorter is no answer
inline constexpr uint32_t kBootloaderDetailsTimeoutMs = 500;
inline constexpr uint32_t kNrfBootloaderDetailsTimeoutMs = 3000;
inline constexpr uint32_t kLoaderStartTimeoutMs = 1000;
inline constexpr uint32_t kNrfLoaderStartTimeoutMs = 3000;
inline constexpr int kLoaderStartReplyMax = 1023;

// The application firmware's text commands, sent without terminator or line end.
inline const QByteArray kReadVersionCommand = QByteArrayLiteral("FL_READ_VERSION$");
inline const QByteArray kNrfLoaderStartCommand = QByteArrayLiteral("START_NRF_BOOT_LOADER");
inline const QByteArray kStartedReply = QByteArrayLiteral("STARTED");
inline const QByteArray kStartErrorReply = QByteArrayLiteral("START ERROR");

// "START_BOOT_LOADER=1" with the start-loader box ticked, else "START_BOOT_LOADER=0".
QByteArray LoaderStartCommand(bool startLoader);

// The whole identification of one entry; true when the pass's ErrorCode is 0 afterwards.
// The link is open only inside; an exception of the firmware load leaves the link closed
// and goes on to the pass's guard.
bool IdentifyDevice(TPassContext& pass, TDevEntry& device);

// Request 4; true when an accepted reply came (only a bootloader answers it).
bool RequestFirmwareVersion(TPassContext& pass, TDevEntry& device);

// "FL_READ_VERSION$", up to four attempts; true when a version was read.
bool ReadVersionText(TPassContext& pass, TDevEntry& device);

// Requests 5 and 10: bootloader version and processor identifier.
void ReadBootloaderDetails(TPassContext& pass, TDevEntry& device);

// The loader-start commands; true when the device answered "STARTED".
bool StartBootLoader(TPassContext& pass, TDevEntry& device);
bool StartNrfBootLoader(TPassContext& pass, TDevEntry& device);

}  // namespace ql
