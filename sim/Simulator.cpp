#include "sim/Simulator.h"

#include "sim/SimService.h"

namespace ql::sim {

TSimulator::TSimulator()
    : Service(std::make_unique<TSimService>())
{
}

TSimulator::~TSimulator() = default;

bool TSimulator::Start(QString* error)
{
    return Service->Start(error);
}

void TSimulator::Stop()
{
    Service->Stop();
}

QString TSimulator::SocketPath() const
{
    return Service->SocketPath();
}

bool TSimulator::AddTracker(const TSimTracker& tracker)
{
    return Service->AddTracker(tracker);
}

bool TSimulator::AddKernelFtdiTracker(const TSimTracker& tracker, int lineFd,
                                      const QString& latencyTimerPath)
{
    return Service->AddKernelFtdiTracker(tracker, lineFd, latencyTimerPath);
}

bool TSimulator::RemoveTracker(uint32_t serial)
{
    return Service->RemoveTracker(serial);
}

bool TSimulator::SetFaults(uint32_t serial, const TSimFaults& faults)
{
    return Service->SetFaults(serial, faults);
}

QString TSimulator::ComPortPath(uint32_t serial) const
{
    return Service->ComPortPath(serial);
}

std::vector<TSimRequest> TSimulator::Trace(uint32_t serial) const
{
    return Service->Trace(serial);
}

bool TSimulator::WireBytes(uint32_t serial, uint64_t& toTracker, uint64_t& fromTracker) const
{
    return Service->WireBytes(serial, toTracker, fromTracker);
}

bool TSimulator::LineTimes(uint32_t serial, int64_t& waitingUs, int64_t& lateUs)
{
    return Service->LineTimes(serial, waitingUs, lateUs);
}

void TSimulator::ClearTrace(uint32_t serial)
{
    Service->ClearTrace(serial);
}

QByteArray TSimulator::Flash(uint32_t serial) const
{
    return Service->Flash(serial);
}

uint32_t TSimulator::FlashStart(uint32_t serial) const
{
    return Service->FlashStart(serial);
}

TSimMode TSimulator::Mode(uint32_t serial) const
{
    return Service->Mode(serial);
}

bool TSimulator::Present(uint32_t serial) const
{
    return Service->Present(serial);
}

void TSimulator::SetDeviceEventsPath(const QString& path)
{
    Service->SetDeviceEventsPath(path);
}

std::vector<uint32_t> TSimulator::Serials() const
{
    return Service->Serials();
}

bool TSimulator::Tracker(uint32_t serial, TSimTracker& out) const
{
    return Service->Tracker(serial, out);
}

bool TSimulator::FillFlash(uint32_t serial, uint8_t value)
{
    return Service->FillFlash(serial, value);
}

}  // namespace ql::sim
