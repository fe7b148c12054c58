#pragma once
// What identification needs of the discovery pass that runs it: the channel, the pass's
// ErrorCode, its log (written by the UI thread), the firmware loader and the live options.
// The pass (its thread, enumeration and comparison) owns one and hands it to each step.

#include "firmware/FirmwareLoader.h"
#include "core/HandedLog.h"
#include "core/UiCall.h"

namespace ql {

class TDeviceChannel;
struct TLiveOptions;

// Pass error codes that identification produces.
inline constexpr int kPassOk = 0;
inline constexpr int kPassImageLoad = 1;
inline constexpr int kPassLinkOpen = 7;
inline constexpr int kPassNoAnswer = 8;

struct TPassContext {
    TPassContext(TDeviceChannel& channel, THandOver& handOver, TLogSink& uiLog,
                 const TLiveOptions& options, TFirmwareLoader loadFirmware)
        : Channel(channel), HandOver(handOver), Log(handOver, uiLog), Options(options),
          LoadFirmware(std::move(loadFirmware))
    {
    }

    // A catalogue message for a device (0 = none), logged on the UI thread; returns when
    // the line is in the log.
    template <typename... Args>
    void PassLog(TLogKind kind, int device, int message, const Args&... args)
    {
        Log.Message(kind, device, message, args...);
    }

    TDeviceChannel& Channel;
    THandOver& HandOver;
    THandedLog Log;
    const TLiveOptions& Options;
    TFirmwareLoader LoadFirmware;  // run on the UI thread; may throw TFirmwareBlockTooBig
    int ErrorCode = kPassOk;       // 0, or the first error of the pass
};

}  // namespace ql
