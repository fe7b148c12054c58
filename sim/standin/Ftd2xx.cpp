// Stand-in for FTDI's D2XX library: the calls the loader binds, with D2XX's Linux types,
// reaching the simulated trackers behind an FTDI bridge. Built a second time with
// QL_STANDIN_WITHOUT_LATENCY_TIMER, as an older library that cannot set the bridge's
// latency timer (no FT_SetLatencyTimer, no FT_GetLatencyTimer).

#include "links/DriverApi.h"
#include "sim/standin/StandInClient.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>

using namespace ql::ftdi;
using ql::sim::standin::TDeviceLink;
using ql::sim::wire::TListEntry;

#define QL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Bridge identity reported in the device-information records.
constexpr uint32_t kDeviceType = 5;         // an FT232R
constexpr uint32_t kUsbId = 0x04036001;     // vendor 0403, product 6001
constexpr uint32_t kFirstLocation = 0x11;

std::mutex gLock;
std::map<FT_HANDLE, std::shared_ptr<TDeviceLink>> gHandles;
std::map<FT_HANDLE, UCHAR> gLatencyMs;  // each open bridge's latency timer
std::vector<TListEntry> gListed;  // from the last FT_CreateDeviceInfoList

// The link behind a handle the loader holds; null for a handle this library never gave.
std::shared_ptr<TDeviceLink> Find(FT_HANDLE handle)
{
    std::lock_guard guard(gLock);
    auto it = gHandles.find(handle);
    return it == gHandles.end() ? nullptr : it->second;
}

// The checks FT_Read and FT_Write share; FT_OK when the transfer may go on.
FT_STATUS BeginTransfer(FT_HANDLE handle, const void* buffer, DWORD count, DWORD* done,
                        std::shared_ptr<TDeviceLink>& link)
{
    link = Find(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if (!done || (count > 0 && !buffer))
        return FT_INVALID_PARAMETER;
    *done = 0;
    return FT_OK;
}

}  // namespace

QL_EXPORT FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevices)
{
    if (!numDevices)
        return FT_INVALID_PARAMETER;
    std::vector<TListEntry> listed;
    ql::sim::standin::ListDevices(ql::sim::wire::kLinkFtdi, listed);  // none when unreachable
    std::lock_guard guard(gLock);
    gListed = std::move(listed);
    *numDevices = DWORD(gListed.size());
    return FT_OK;
}

QL_EXPORT FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* list, DWORD* numDevices)
{
    if (!list || !numDevices)
        return FT_INVALID_PARAMETER;
    std::lock_guard guard(gLock);
    const DWORD count = std::min<DWORD>(*numDevices, DWORD(gListed.size()));
    for (DWORD i = 0; i < count; ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = list[i];
        std::memset(&node, 0, sizeof(node));
        node.Type = kDeviceType;
        node.ID = kUsbId;
        node.LocId = kFirstLocation + i;
        std::snprintf(node.SerialNumber, sizeof(node.SerialNumber), "%u", gListed[i].Serial);
        std::snprintf(node.Description, sizeof(node.Description), "%s", gListed[i].Text.c_str());
    }
    *numDevices = count;
    return FT_OK;
}

QL_EXPORT FT_STATUS FT_OpenEx(void* arg1, DWORD flags, FT_HANDLE* handle)
{
    if (!handle)
        return FT_INVALID_PARAMETER;
    *handle = nullptr;
    if (!arg1 || flags != FT_OPEN_BY_SERIAL_NUMBER)
        return FT_INVALID_PARAMETER;
    auto link = std::make_shared<TDeviceLink>();
    if (!link->Open(ql::sim::wire::kLinkFtdi, 0, static_cast<const char*>(arg1)))
        return FT_DEVICE_NOT_FOUND;
    std::lock_guard guard(gLock);
    *handle = link.get();
    gHandles[*handle] = std::move(link);
    gLatencyMs[*handle] = kDefaultLatencyTimerMs;
    return FT_OK;
}

QL_EXPORT FT_STATUS FT_Close(FT_HANDLE handle)
{
    std::shared_ptr<TDeviceLink> link;  // released outside the lock
    {
        std::lock_guard guard(gLock);
        auto it = gHandles.find(handle);
        if (it == gHandles.end())
            return FT_INVALID_HANDLE;
        link = std::move(it->second);
        gHandles.erase(it);
        gLatencyMs.erase(handle);
    }
    return FT_OK;
}

QL_EXPORT FT_STATUS FT_ResetDevice(FT_HANDLE handle)
{
    auto link = Find(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    link->Purge(true);  // what waits in the bridge goes too
    return link->Alive() ? FT_OK : FT_IO_ERROR;
}

QL_EXPORT FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG /*writeTimeoutMs*/)
{
    auto link = Find(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    link->ReadTimeoutMs = readTimeoutMs;
    return link->Alive() ? FT_OK : FT_IO_ERROR;
}

QL_EXPORT FT_STATUS FT_GetStatus(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes, DWORD* eventDWord)
{
    auto link = Find(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    const uint32_t queued = link->Queued();
    if (rxBytes)
        *rxBytes = queued;
    if (txBytes)
        *txBytes = 0;
    if (eventDWord)
        *eventDWord = 0;
    // Bytes that arrived before the tracker dropped off can still be read.
    return queued > 0 || link->Alive() ? FT_OK : FT_IO_ERROR;
}

// Like D2XX: waits for the bytes asked for until the read time-out, then returns what came.
QL_EXPORT FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    std::shared_ptr<TDeviceLink> link;
    if (FT_STATUS status = BeginTransfer(handle, buffer, bytesToRead, bytesReturned, link))
        return status;
    uint32_t got = 0;
    if (!link->Read(static_cast<uint8_t*>(buffer), bytesToRead, link->ReadTimeoutMs, got))
        return FT_IO_ERROR;
    *bytesReturned = got;
    return FT_OK;
}

QL_EXPORT FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten)
{
    std::shared_ptr<TDeviceLink> link;
    if (FT_STATUS status = BeginTransfer(handle, buffer, bytesToWrite, bytesWritten, link))
        return status;
    if (!link->Write(static_cast<const uint8_t*>(buffer), bytesToWrite))
        return FT_IO_ERROR;
    *bytesWritten = bytesToWrite;
    return FT_OK;
}

#ifndef QL_STANDIN_WITHOUT_LATENCY_TIMER

// D2XX's range is 2 to 255 ms. A bridge the simulator keeps at its default timer refuses
// as a library that cannot set it would.
QL_EXPORT FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs)
{
    auto link = Find(handle);
    if (!link)
        return FT_INVALID_HANDLE;
    if (latencyMs < kMinLatencyTimerMs)
        return FT_INVALID_PARAMETER;
    if (link->OpenFlags() & ql::sim::wire::kOpenFixedLatencyTimer)
        return FT_NOT_SUPPORTED;
    if (!link->Control({ql::sim::wire::kSetLatencyTimer, latencyMs}))
        return FT_IO_ERROR;
    std::lock_guard guard(gLock);
    gLatencyMs[handle] = latencyMs;
    return FT_OK;
}

QL_EXPORT FT_STATUS FT_GetLatencyTimer(FT_HANDLE handle, PUCHAR latencyMs)
{
    std::lock_guard guard(gLock);
    auto it = gLatencyMs.find(handle);
    if (it == gLatencyMs.end())
        return FT_INVALID_HANDLE;
    if (!latencyMs)
        return FT_INVALID_PARAMETER;
    *latencyMs = it->second;
    return FT_OK;
}

static_assert(std::is_same_v<decltype(&FT_SetLatencyTimer), PFN_FT_SetLatencyTimer>);
static_assert(std::is_same_v<decltype(&FT_GetLatencyTimer), PFN_FT_GetLatencyTimer>);

#endif

// The exports have exactly the types the loader binds them with.
static_assert(std::is_same_v<decltype(&FT_CreateDeviceInfoList), PFN_FT_CreateDeviceInfoList>);
static_assert(std::is_same_v<decltype(&FT_GetDeviceInfoList), PFN_FT_GetDeviceInfoList>);
static_assert(std::is_same_v<decltype(&FT_OpenEx), PFN_FT_OpenEx>);
static_assert(std::is_same_v<decltype(&FT_Close), PFN_FT_Close>);
static_assert(std::is_same_v<decltype(&FT_ResetDevice), PFN_FT_ResetDevice>);
static_assert(std::is_same_v<decltype(&FT_SetTimeouts), PFN_FT_SetTimeouts>);
static_assert(std::is_same_v<decltype(&FT_GetStatus), PFN_FT_GetStatus>);
static_assert(std::is_same_v<decltype(&FT_Read), PFN_FT_Read>);
static_assert(std::is_same_v<decltype(&FT_Write), PFN_FT_Write>);
