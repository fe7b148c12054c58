#pragma once
// The calls of the two driver libraries the loader binds at run time, written from their
// published signatures: FTDI's D2XX with its Linux types (FT_STATUS, DWORD and ULONG are
// 32-bit unsigned, FT_HANDLE is void*, C calling convention), and the maker's USB library
// (all functions extern "C", result 0 = success). The stand-in libraries of the simulator
// define their functions against these same types.

#include <cstddef>
#include <cstdint>

namespace ql::ftdi {

using FT_STATUS = uint32_t;
using DWORD = uint32_t;
using ULONG = uint32_t;
using FT_HANDLE = void*;
using UCHAR = unsigned char;
using PUCHAR = UCHAR*;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
inline constexpr FT_STATUS FT_NOT_SUPPORTED = 17;
inline constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;

// The device-information record of FT_GetDeviceInfoList.
struct FT_DEVICE_LIST_INFO_NODE {
    uint32_t Flags;
    uint32_t Type;
    uint32_t ID;
    uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    void* ftHandle;
};
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, SerialNumber) == 16);
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, Description) == 32);
static_assert(sizeof(void*) != 8 || sizeof(FT_DEVICE_LIST_INFO_NODE) == 104);

using PFN_FT_Close = FT_STATUS (*)(FT_HANDLE handle);
using PFN_FT_ResetDevice = FT_STATUS (*)(FT_HANDLE handle);
using PFN_FT_Read = FT_STATUS (*)(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned);
using PFN_FT_Write = FT_STATUS (*)(FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten);
using PFN_FT_SetTimeouts = FT_STATUS (*)(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs);
using PFN_FT_GetStatus = FT_STATUS (*)(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes, DWORD* eventDWord);
using PFN_FT_CreateDeviceInfoList = FT_STATUS (*)(DWORD* numDevices);
using PFN_FT_GetDeviceInfoList = FT_STATUS (*)(FT_DEVICE_LIST_INFO_NODE* list, DWORD* numDevices);
using PFN_FT_OpenEx = FT_STATUS (*)(void* arg1, DWORD flags, FT_HANDLE* handle);
// Not in every library: bound on their own, so a library without them still serves.
using PFN_FT_SetLatencyTimer = FT_STATUS (*)(FT_HANDLE handle, UCHAR latencyMs);
using PFN_FT_GetLatencyTimer = FT_STATUS (*)(FT_HANDLE handle, PUCHAR latencyMs);

// The bridge's latency timer: a short reply waits in the bridge until it runs out.
inline constexpr UCHAR kMinLatencyTimerMs = 2;
inline constexpr UCHAR kMaxLatencyTimerMs = 255;
inline constexpr UCHAR kDefaultLatencyTimerMs = 16;  // at power-up and after every open

// Base name for the system's library search: libftd2xx.so here, ftd2xx.dll on Windows.
inline constexpr char kLibraryName[] = "ftd2xx";

}  // namespace ql::ftdi

namespace ql::qlusb {

inline constexpr int32_t MV_OK = 0;
inline constexpr uint32_t kListSelector = 0xFFFF;  // first argument of MV_GetListDevices

// One record of MV_GetListDevices, 25 bytes, little-endian.
inline constexpr size_t kDeviceRecordSize = 25;
inline constexpr size_t kRecordUsbNumberOffset = 2;  // 16-bit device number
inline constexpr size_t kRecordSerialOffset = 4;     // 21 bytes, zero-terminated text
inline constexpr size_t kRecordSerialSize = 21;

using PFN_MV_GetListDevices = int32_t (*)(uint32_t selector, uint8_t* records, uint32_t* count);
using PFN_MV_OpenDevice = int32_t (*)(uint32_t usbNumber, const char* serialText, uint32_t* handle);
using PFN_MV_CloseDevice = int32_t (*)(uint32_t* handle);
using PFN_MV_ReadNotTimeOut = int32_t (*)(uint32_t handle, uint8_t* buffer, uint32_t size, uint32_t* bytesRead);
using PFN_MV_Write = int32_t (*)(uint32_t handle, const uint8_t* bytes, uint32_t count, uint32_t* bytesWritten);
using PFN_MV_Purge = int32_t (*)(uint32_t handle, uint32_t flags);
using PFN_MV_SetTimeouts = int32_t (*)(uint32_t handle, uint32_t readMs, uint32_t writeMs);

// Base name for the system's library search: libqlusb.so here, QLUSB.dll on Windows.
inline constexpr char kLibraryName[] = "qlusb";

}  // namespace ql::qlusb
