#pragma once
// What both stand-in driver libraries share: the connection to the simulator named by
// $QLSIM_SOCKET, the enumeration, and one open device link with its receive queue.

#include "sim/StandInWire.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace ql::sim::standin {

// Asks the simulator for the trackers present on one kind of link. False when the
// simulator cannot be reached.
bool ListDevices(uint8_t kind, std::vector<wire::TListEntry>& out);

// One open device handle. The receive queue holds whole replies: the simulator sends
// each reply as one message, and the queue takes it in at once.
class TDeviceLink {
public:
    ~TDeviceLink();
    // Connects and asks for the tracker; false when it is not on the bus.
    bool Open(uint8_t kind, uint16_t tag, const std::string& serialText);
    // The open reply's flags (wire::kOpenFixedLatencyTimer).
    uint8_t OpenFlags() const { return Flags; }

    // Takes in what the simulator has sent; then the bytes queued for reading.
    uint32_t Queued();
    // Waits up to timeoutMs for count bytes, then hands over what is queued, at most count.
    // False when the tracker dropped off and nothing is left to read.
    bool Read(uint8_t* buffer, uint32_t count, uint32_t timeoutMs, uint32_t& got);
    // False when the tracker dropped off.
    bool Write(const uint8_t* bytes, uint32_t count);
    // Empties the receive queue; tell: the simulator drops what its bridge holds too.
    void Purge(bool tell = false);
    bool Alive();
    // A message about the link itself (wire::kSetLatencyTimer); false when the tracker
    // dropped off.
    bool Control(const std::vector<uint8_t>& message);

    uint32_t ReadTimeoutMs = 1000;

private:
    void Drain(int waitMs);  // under Lock

    std::mutex Lock;
    int Fd = -1;
    bool Dead = false;
    uint8_t Flags = 0;
    std::vector<uint8_t> Queue;
    std::vector<uint8_t> Received;  // one message off the socket, kept between polls
};

}  // namespace ql::sim::standin
