// Stand-in for the maker's USB library: the calls the loader binds, reaching the
// simulated trackers with the maker's own USB interface.

#include "links/DriverApi.h"
#include "sim/standin/StandInClient.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>

using namespace ql::qlusb;
using ql::sim::standin::TDeviceLink;
using ql::sim::wire::TListEntry;

#define QL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Results other than MV_OK.
constexpr int32_t kNoDevice = 1;
constexpr int32_t kBadHandle = 2;
constexpr int32_t kBadParameter = 3;
constexpr int32_t kIoError = 4;

std::mutex gLock;
std::map<uint32_t, std::shared_ptr<TDeviceLink>> gHandles;
uint32_t gNextHandle = 1;

std::shared_ptr<TDeviceLink> Find(uint32_t handle)
{
    std::lock_guard guard(gLock);
    auto it = gHandles.find(handle);
    return it == gHandles.end() ? nullptr : it->second;
}

}  // namespace

// selector 0xFFFF lists every device; any other value only the devices with that number.
// records null: count becomes the number of devices. Otherwise count (in) is the room in
// records and (out) the number of records written.
QL_EXPORT int32_t MV_GetListDevices(uint32_t selector, uint8_t* records, uint32_t* count)
{
    if (!count)
        return kBadParameter;
    std::vector<TListEntry> listed;
    ql::sim::standin::ListDevices(ql::sim::wire::kLinkMakerUsb, listed);
    std::vector<TListEntry> chosen;
    for (const TListEntry& device : listed)
        if (selector == kListSelector || selector == device.Tag)
            chosen.push_back(device);
    if (!records) {
        *count = uint32_t(chosen.size());
        return MV_OK;
    }
    const uint32_t written = std::min<uint32_t>(*count, uint32_t(chosen.size()));
    for (uint32_t i = 0; i < written; ++i) {
        uint8_t* record = records + i * kDeviceRecordSize;
        std::memset(record, 0, kDeviceRecordSize);
        ql::sim::wire::PutU16(record + kRecordUsbNumberOffset, chosen[i].Tag);
        std::snprintf(reinterpret_cast<char*>(record + kRecordSerialOffset), kRecordSerialSize,
                      "%u", chosen[i].Serial);
    }
    *count = written;
    return MV_OK;
}

QL_EXPORT int32_t MV_OpenDevice(uint32_t usbNumber, const char* serialText, uint32_t* handle)
{
    if (!handle || !serialText)
        return kBadParameter;
    *handle = 0;
    auto link = std::make_shared<TDeviceLink>();
    if (!link->Open(ql::sim::wire::kLinkMakerUsb, uint16_t(usbNumber), serialText))
        return kNoDevice;
    std::lock_guard guard(gLock);
    if (gNextHandle == 0)
        gNextHandle = 1;
    *handle = gNextHandle++;
    gHandles[*handle] = std::move(link);
    return MV_OK;
}

QL_EXPORT int32_t MV_CloseDevice(uint32_t* handle)
{
    if (!handle)
        return kBadParameter;
    std::shared_ptr<TDeviceLink> link;
    {
        std::lock_guard guard(gLock);
        auto it = gHandles.find(*handle);
        if (it == gHandles.end())
            return kBadHandle;
        link = std::move(it->second);
        gHandles.erase(it);
    }
    *handle = 0;
    return MV_OK;
}

// Returns at once with what is queued, at most size bytes.
QL_EXPORT int32_t MV_ReadNotTimeOut(uint32_t handle, uint8_t* buffer, uint32_t size, uint32_t* bytesRead)
{
    auto link = Find(handle);
    if (!link)
        return kBadHandle;
    if (!bytesRead || (size > 0 && !buffer))
        return kBadParameter;
    *bytesRead = 0;
    uint32_t got = 0;
    if (!link->Read(buffer, size, 0, got))
        return kIoError;
    *bytesRead = got;
    return MV_OK;
}

QL_EXPORT int32_t MV_Write(uint32_t handle, const uint8_t* bytes, uint32_t count, uint32_t* bytesWritten)
{
    auto link = Find(handle);
    if (!link)
        return kBadHandle;
    if (!bytesWritten || (count > 0 && !bytes))
        return kBadParameter;
    *bytesWritten = 0;
    if (!link->Write(bytes, count))
        return kIoError;
    *bytesWritten = count;
    return MV_OK;
}

QL_EXPORT int32_t MV_Purge(uint32_t handle, uint32_t /*flags*/)
{
    auto link = Find(handle);
    if (!link)
        return kBadHandle;
    link->Purge();
    return link->Alive() ? MV_OK : kIoError;
}

// The two time-outs are kept for nothing: MV_ReadNotTimeOut never waits, writes never block.
QL_EXPORT int32_t MV_SetTimeouts(uint32_t handle, uint32_t /*readMs*/, uint32_t /*writeMs*/)
{
    auto link = Find(handle);
    if (!link)
        return kBadHandle;
    return link->Alive() ? MV_OK : kIoError;
}

// The exports have exactly the types the loader binds them with.
static_assert(std::is_same_v<decltype(&MV_GetListDevices), PFN_MV_GetListDevices>);
static_assert(std::is_same_v<decltype(&MV_OpenDevice), PFN_MV_OpenDevice>);
static_assert(std::is_same_v<decltype(&MV_CloseDevice), PFN_MV_CloseDevice>);
static_assert(std::is_same_v<decltype(&MV_ReadNotTimeOut), PFN_MV_ReadNotTimeOut>);
static_assert(std::is_same_v<decltype(&MV_Write), PFN_MV_Write>);
static_assert(std::is_same_v<decltype(&MV_Purge), PFN_MV_Purge>);
static_assert(std::is_same_v<decltype(&MV_SetTimeouts), PFN_MV_SetTimeouts>);
