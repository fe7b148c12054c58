#pragma once
// The device-change notice a loader listens for: the datagram "7" to the path that
// $QLFW_DEVICE_EVENTS names (or one set later), sent at every change of the set of
// trackers on the bus. Not thread-safe: the service calls it under its own lock.

#include <QByteArray>
#include <QString>

namespace ql::sim {

class TDeviceEvents {
public:
    TDeviceEvents();
    ~TDeviceEvents();
    TDeviceEvents(const TDeviceEvents&) = delete;
    TDeviceEvents& operator=(const TDeviceEvents&) = delete;

    void SetPath(const QString& path);
    // Sent without waiting; nobody listening is no failure.
    void DevicesChanged();

private:
    QByteArray Path;
    int Fd = -1;
};

}  // namespace ql::sim
