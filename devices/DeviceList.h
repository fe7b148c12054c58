#pragma once
// The window's owning list of devices and its lock. The lock guards membership only
// (adding, removing, walking to compare), never the fields of an entry.

#include "devices/DevEntry.h"

#include <QMutex>

#include <memory>
#include <vector>

namespace ql {

using DeviceEntryList = std::vector<std::unique_ptr<TDevEntry>>;

// The first entry, in list order, with this number; null when none.
TDevEntry* FindDevice(const DeviceEntryList& list, int32_t serialNumber);

// Destroys the first entry with this number (with its panel) and takes it out of the
// list; the rest keep their order. No match: nothing happens.
void RemoveDevice(DeviceEntryList& list, int32_t serialNumber);

struct TDeviceList {
    DeviceEntryList Entries;
    QMutex Lock;  // DeviceListLock
};

}  // namespace ql
