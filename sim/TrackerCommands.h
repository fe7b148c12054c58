#pragma once
// What a tracker understands, in its own terms: the requests its bootloader carries out and
// the statuses it answers with, the text commands of its application firmware, and the
// frame commands of its COM line. The byte layouts of records and frames are shared with
// the loader (links/LoaderRecord.h, links/Frame.h); the numbers that fill them are the
// tracker's own, so a wrong number on the loader's side shows up as a refused request.

#include <QByteArray>

#include <cstdint>

namespace ql::sim {

// Bootloader requests: the command field of a record.
inline constexpr uint16_t kRequestEraseOld = 1;
inline constexpr uint16_t kRequestWriteOld = 2;
inline constexpr uint16_t kRequestFirmwareVersion = 4;
inline constexpr uint16_t kRequestBootloaderVersion = 5;
inline constexpr uint16_t kRequestErase = 6;
inline constexpr uint16_t kRequestWrite = 7;
inline constexpr uint16_t kRequestProcessorId = 10;
inline constexpr uint16_t kRequestFinish = 11;
inline constexpr uint16_t kRequestAbort = 12;
inline constexpr uint16_t kRequestStartApplication = 13;
inline constexpr uint16_t kRequestFirmwareCheck = 14;
inline constexpr uint16_t kRequestSdCheck = 15;

// Statuses in the command field of a reply.
inline constexpr uint16_t kReplyAccepted = 0x80;
// What the bootloader answers to a request it cannot carry out (a bad checksum, an address
// outside the sector, an unknown command); the loader takes any status it does not name as
// a refusal.
inline constexpr uint16_t kReplyRefused = 0x81;
inline constexpr uint16_t kReplyProtected = 0x83;  // the bootloader's own sectors

// The application firmware's text commands, sent without terminator.
inline const QByteArray kReadVersionText = QByteArrayLiteral("FL_READ_VERSION$");
inline const QByteArray kStartLoaderText = QByteArrayLiteral("START_BOOT_LOADER=");  // + digit
inline const QByteArray kStartNrfLoaderText = QByteArrayLiteral("START_NRF_BOOT_LOADER");
inline constexpr char kStartedReply[] = "STARTED";

// Frame commands on the COM line.
inline constexpr uint8_t kLineTunnel = 0xF0;            // carries pieces of requests and replies
inline constexpr uint8_t kLineSerialNumber = 0x00;      // with the one data byte below
inline constexpr uint8_t kLineSerialNumberData = 0x0A;
inline constexpr uint8_t kLineSerialNumberReply = 0x0A;
inline constexpr uint8_t kLineLoaderStart = 0xEF;
// The longest frame the line's receiver takes, and the reply data one reply frame carries
// (the frame less its start, address, length, command, result code and CRC).
inline constexpr int kLineMaxFrameBytes = 100;
inline constexpr int kLineMaxReplyData = kLineMaxFrameBytes - 14;

}  // namespace ql::sim
