#include "devices/DeviceList.h"

#include <algorithm>

namespace ql {
namespace {

auto FirstWith(const DeviceEntryList& list, int32_t serialNumber)
{
    return std::find_if(list.begin(), list.end(), [serialNumber](const auto& entry) {
        return entry->SerialNumber == serialNumber;
    });
}

}  // namespace

TDevEntry* FindDevice(const DeviceEntryList& list, int32_t serialNumber)
{
    const auto it = FirstWith(list, serialNumber);
    return it == list.end() ? nullptr : it->get();
}

void RemoveDevice(DeviceEntryList& list, int32_t serialNumber)
{
    const auto it = FirstWith(list, serialNumber);
    if (it != list.end())
        list.erase(it);
}

}  // namespace ql
