#include "sim/SimService.h"

#include "links/LoaderRecord.h"
#include "sim/ComLinePacing.h"
#include "sim/KernelFtdiLine.h"
#include "sim/PseudoTerminal.h"
#include "sim/ReadySet.h"
#include "sim/TrackerCommands.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace ql::sim {
namespace {

constexpr size_t kMaxTraceEntries = 200000;
constexpr unsigned long kTimerSlackNs = 1000;  // wake-ups due to the microsecond, not 50 us late
constexpr int64_t kIdleWaitUs = 1000000;  // nothing due: the thread still looks round once a second
constexpr int64_t kUsPerMs = 1000;
// Longest description an FTDI bridge reports (its field holds 64 bytes with the zero).
constexpr qsizetype kMaxFtdiDescription = 63;

TSimLink LinkOfKind(uint8_t kind)
{
    return kind == wire::kLinkFtdi ? TSimLink::Ftdi : TSimLink::MakerUsb;
}

}  // namespace

struct TSimService::TSlot {
    explicit TSlot(const TSimTracker& config)
        : Device(config)
    {
    }
    uint64_t Id = 0;
    TTrackerDevice Device;
    bool Present = true;
    bool Vanished = false;
    int64_t BackAtUs = -1;  // end of a reboot
    TSimMode BackInto = TSimMode::Bootloader;
    std::vector<TSimRequest> Requests;
    // COM trackers
    TPseudoTerminal Pty;
    TComLineParser Line;
    TRequestAssembler Assembler;
    TComLinePacing Pacing;
    // Trackers behind a bridge of the kernel's driver (their assembler is the one above)
    TKernelFtdiLine Kernel;

    const TSimTracker& Config() const { return Device.Config; }
    bool IsCom() const { return Config().Link == TSimLink::ComPort; }
    bool IsKernel() const { return Kernel.IsOpen(); }
    bool KernelLineGone = false;  // its descriptor failed: no longer watched
    int Baud() const { return Config().Faults.PaceBaud; }
};

TSimService::TSimService()
    : Started(std::chrono::steady_clock::now())
{
    // Socket paths are short (108 bytes): prefer the temporary folder, fall back to /tmp.
    QString base = QDir::tempPath();
    if (base.size() > 60)
        base = QStringLiteral("/tmp");
    QByteArray pattern = QFile::encodeName(base + QStringLiteral("/qlsim-XXXXXX"));
    if (::mkdtemp(pattern.data()))
        Folder = QFile::decodeName(pattern);
    ListenPath = Folder + QStringLiteral("/sim.sock");
}

TSimService::~TSimService()
{
    Stop();
    {
        std::lock_guard guard(Lock);
        Slots.clear();
    }
    if (!Folder.isEmpty())
        QDir(Folder).removeRecursively();
}

bool TSimService::Start(QString* error)
{
    if (Running)
        return true;
    if (Folder.isEmpty()) {
        if (error)
            *error = QStringLiteral("temporary folder: %1")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!Server.Listen(ListenPath, error))
        return false;
    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        if (error)
            *error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        Server.Close();
        return false;
    }
    WakeRead = wake[0];
    WakeWrite = wake[1];
    Running = true;
    Thread = std::thread([this] { Run(); });
    return true;
}

void TSimService::Stop()
{
    if (!Running.exchange(false))
        return;
    Wake();
    Thread.join();
    std::lock_guard guard(Lock);
    Server.Close();
    Replies.Clear();
    ::close(WakeRead);
    ::close(WakeWrite);
    WakeRead = WakeWrite = -1;
}

void TSimService::Wake()
{
    if (WakeWrite >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t n = ::write(WakeWrite, &byte, 1);
    }
}

int64_t TSimService::NowUs() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now() - Started)
        .count();
}

// ---- the public calls ----

TSimService::TSlot* TSimService::Find(uint32_t serial)
{
    for (auto& slot : Slots)
        if (slot->Config().Serial == serial)
            return slot.get();
    return nullptr;
}

const TSimService::TSlot* TSimService::Find(uint32_t serial) const
{
    return const_cast<TSimService*>(this)->Find(serial);
}

TSimService::TSlot* TSimService::FindById(uint64_t id)
{
    for (auto& slot : Slots)
        if (slot->Id == id)
            return slot.get();
    return nullptr;
}

bool TSimService::AddTracker(const TSimTracker& tracker)
{
    return Add(tracker, -1, QString());
}

bool TSimService::AddKernelFtdiTracker(const TSimTracker& tracker, int lineFd,
                                       const QString& latencyTimerPath)
{
    if (tracker.Link != TSimLink::Ftdi || lineFd < 0)
        return false;
    return Add(tracker, lineFd, latencyTimerPath);
}

bool TSimService::Add(const TSimTracker& tracker, int lineFd, const QString& latencyTimerPath)
{
    std::lock_guard guard(Lock);
    if (tracker.Serial == 0 || Find(tracker.Serial))
        return false;
    auto slot = std::make_unique<TSlot>(tracker);
    if (slot->IsCom() && !slot->Pty.Open())
        return false;
    // A bridge that keeps its default timer does not read the attribute the loader sets.
    if (lineFd >= 0
        && !slot->Kernel.Open(lineFd, tracker.FixedLatencyTimer ? QString() : latencyTimerPath))
        return false;
    slot->Id = NextSlotId++;
    Slots.push_back(std::move(slot));
    Events.DevicesChanged();
    Wake();
    return true;
}

bool TSimService::RemoveTracker(uint32_t serial)
{
    std::lock_guard guard(Lock);
    TSlot* slot = Find(serial);
    if (!slot)
        return false;
    const uint64_t id = slot->Id;
    Server.CloseConnectionsOf(id);
    Replies.DropTracker(id);
    std::erase_if(Slots, [id](const auto& s) { return s->Id == id; });
    Events.DevicesChanged();
    Wake();
    return true;
}

bool TSimService::SetFaults(uint32_t serial, const TSimFaults& faults)
{
    std::lock_guard guard(Lock);
    TSlot* slot = Find(serial);
    if (!slot)
        return false;
    slot->Device.Config.Faults = faults;
    slot->Device.StartSession();
    Wake();
    return true;
}

QString TSimService::ComPortPath(uint32_t serial) const
{
    std::lock_guard guard(Lock);
    const TSlot* slot = Find(serial);
    return slot && slot->IsCom() ? slot->Pty.SlavePath() : QString();
}

std::vector<TSimRequest> TSimService::Trace(uint32_t serial) const
{
    std::lock_guard guard(Lock);
    const TSlot* slot = Find(serial);
    return slot ? slot->Requests : std::vector<TSimRequest>{};
}

bool TSimService::WireBytes(uint32_t serial, uint64_t& toTracker, uint64_t& fromTracker) const
{
    std::lock_guard guard(Lock);
    const TSlot* slot = Find(serial);
    if (!slot || !slot->IsCom())
        return false;
    toTracker = slot->Pacing.BytesIn();
    fromTracker = slot->Pacing.BytesOut();
    return true;
}

bool TSimService::LineTimes(uint32_t serial, int64_t& waitingUs, int64_t& lateUs)
{
    std::lock_guard guard(Lock);
    TSlot* slot = Find(serial);
    if (!slot || !slot->IsCom())
        return false;
    waitingUs = slot->Pacing.WaitingUs(NowUs());
    lateUs = slot->Pacing.LateUs();
    return true;
}

void TSimService::ClearTrace(uint32_t serial)
{
    std::lock_guard guard(Lock);
    if (TSlot* slot = Find(serial))
        slot->Requests.clear();
}

QByteArray TSimService::Flash(uint32_t serial) const
{
    std::lock_guard guard(Lock);
    const TSlot* slot = Find(serial);
    return slot ? slot->Device.Flash : QByteArray();
}

uint32_t TSimService::FlashStart(uint32_t serial) const
{
    std::lock_guard guard(Lock);
    const TSlot* slot = Find(serial);
    return slot ? slot->Device.FlashStart : 0;
}

TSimMode TSimService::Mode(uint32_t serial) const
{
    std::lock_guard guard(Lock);
    const TSlot* slot = Find(serial);
    return slot ? slot->Config().Mode : TSimMode::Bootloader;
}

bool TSimService::Present(uint32_t serial) const
{
    std::lock_guard guard(Lock);
    const TSlot* slot = Find(serial);
    return slot && slot->Present;
}

void TSimService::SetDeviceEventsPath(const QString& path)
{
    std::lock_guard guard(Lock);
    Events.SetPath(path);
}

std::vector<uint32_t> TSimService::Serials() const
{
    std::lock_guard guard(Lock);
    std::vector<uint32_t> serials;
    for (const auto& slot : Slots)
        serials.push_back(slot->Config().Serial);
    return serials;
}

bool TSimService::Tracker(uint32_t serial, TSimTracker& out) const
{
    std::lock_guard guard(Lock);
    const TSlot* slot = Find(serial);
    if (slot)
        out = slot->Config();
    return slot != nullptr;
}

bool TSimService::FillFlash(uint32_t serial, uint8_t value)
{
    std::lock_guard guard(Lock);
    TSlot* slot = Find(serial);
    if (slot)
        slot->Device.Flash.fill(char(value));
    return slot != nullptr;
}

// ---- the service thread ----

int64_t TSimService::NextTimeoutUs(int64_t nowUs) const
{
    int64_t next = Replies.NextDueUs();
    for (const auto& slot : Slots) {
        if (slot->BackAtUs >= 0)
            next = std::min(next, slot->BackAtUs);
        next = std::min(next, slot->Pacing.NextFlushUs(slot->Baud()));
        next = std::min(next, slot->Kernel.NextFlushUs());
    }
    next = std::min(next, Server.NextReleaseUs());
    // Microseconds, not milliseconds: a paced line at 115200 baud takes a byte every
    // 87 us, and a wake-up rounded to the next millisecond would hold each reply back.
    if (next == kNothingDueUs)
        return kIdleWaitUs;
    return std::clamp<int64_t>(next - nowUs, 0, kIdleWaitUs);
}

void TSimService::Run()
{
    // A paced reply's last batch is due the moment its last byte has crossed; the
    // kernel's default slack would let every such wake-up run up to 50 us late.
    prctl(PR_SET_TIMERSLACK, kTimerSlackNs, 0, 0, 0);
    std::vector<pollfd> fds;
    std::vector<uint64_t> owners;  // connection id, or slot id with the top bit set
    constexpr uint64_t kSlotBit = 1ull << 63;
    TReadySet ready;
    while (Running) {
        int64_t timeoutUs;
        {
            std::lock_guard guard(Lock);
            fds.assign({{WakeRead, POLLIN, 0}, {Server.ListenFd(), POLLIN, 0}});
            owners.assign({0, 0});
            Server.Watch(fds, owners);
            for (const auto& slot : Slots) {
                if (slot->IsCom() || (slot->IsKernel() && !slot->KernelLineGone)) {
                    fds.push_back({slot->IsCom() ? slot->Pty.MasterFd() : slot->Kernel.LineFd(), POLLIN, 0});
                    owners.push_back(slot->Id | kSlotBit);
                }
            }
            timeoutUs = NextTimeoutUs(NowUs());
            ready.Watch(fds, owners);
        }
        ready.Wait(fds, timeoutUs);
        std::lock_guard guard(Lock);
        if (fds[0].revents) {
            char drain[64];
            while (::read(WakeRead, drain, sizeof(drain)) > 0) {
            }
        }
        if (fds[1].revents & POLLIN)
            Server.Accept();
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            if (owners[i] & kSlotBit) {
                if (TSlot* slot = FindById(owners[i] & ~kSlotBit))
                    ReadLine(*slot);
            } else
                Server.Read(owners[i], NowUs() / kUsPerMs);
        }
        RunDue(NowUs());
    }
}

// ---- the stand-in libraries' requests ----

std::vector<wire::TListEntry> TSimService::ListTrackers(uint8_t kind)
{
    const TSimLink link = LinkOfKind(kind);
    std::vector<wire::TListEntry> entries;
    for (const auto& slot : Slots) {
        const TSimTracker& t = slot->Config();
        if (!slot->Present || t.Link != link || slot->IsKernel())
            continue;
        const QByteArray text =
            link == TSimLink::Ftdi ? t.FtdiDescription.left(kMaxFtdiDescription) : QByteArray();
        entries.push_back({t.Serial, t.UsbTag, text.toStdString()});
    }
    return entries;
}

uint64_t TSimService::OpenTracker(uint8_t kind, uint16_t tag, const QByteArray& serialText)
{
    const TSimLink link = LinkOfKind(kind);
    TSlot* found = nullptr;
    for (const auto& slot : Slots) {
        const TSimTracker& t = slot->Config();
        if (slot->Present && t.Link == link && !slot->IsKernel() && QByteArray::number(t.Serial) == serialText
            && (link == TSimLink::Ftdi || t.UsbTag == tag))
            found = slot.get();
    }
    if (!found)
        return 0;
    found->Device.StartSession();
    return found->Id;
}

bool TSimService::FixedLatencyTimer(uint64_t slotId)
{
    const TSlot* slot = FindById(slotId);
    return slot && slot->Config().FixedLatencyTimer;
}

void TSimService::Request(uint64_t connectionId, uint64_t slotId, const TAssembledRequest& request)
{
    if (TSlot* slot = FindById(slotId))
        Process(*slot, request, connectionId);
}

void TSimService::ConnectionClosed(uint64_t connectionId)
{
    Replies.DropConnection(connectionId);
}

// ---- the COM lines ----

void TSimService::ReadKernelLine(TSlot& slot)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(slot.Kernel.LineFd(), buffer, sizeof(buffer));
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (n <= 0) {
            slot.KernelLineGone = true;  // a hung-up line would wake the thread for ever
            return;
        }
        slot.Assembler.Append(QByteArray(buffer, qsizetype(n)), NowUs() / kUsPerMs);
        TAssembledRequest request;
        while (slot.Assembler.Next(request))
            Process(slot, request, 0);
    }
}

void TSimService::ReadLine(TSlot& slot)
{
    if (slot.IsKernel()) {
        ReadKernelLine(slot);
        return;
    }
    char buffer[4096];
    const int64_t nowUs = NowUs();
    for (;;) {
        const ssize_t n = ::read(slot.Pty.MasterFd(), buffer, sizeof(buffer));
        if (n <= 0)
            return;
        slot.Pacing.Received(n, nowUs, slot.Baud());
        slot.Line.Append(QByteArray(buffer, qsizetype(n)), nowUs / kUsPerMs);
        TComFrame frame;
        while (slot.Line.Next(frame))
            HandleFrame(slot, frame);
    }
}

void TSimService::HandleFrame(TSlot& slot, const TComFrame& frame)
{
    if (frame.Command == kLineTunnel) {
        slot.Assembler.Append(frame.Data, NowUs() / kUsPerMs);
        TAssembledRequest request;
        while (slot.Assembler.Next(request))
            Process(slot, request, 0);
        return;
    }
    TSimRequest entry;
    entry.RawFrame = true;
    entry.Command = frame.Command;
    entry.Length = uint32_t(frame.Bytes.size());
    entry.Bytes = frame.Bytes;
    Trace(slot, entry);
    if (!slot.Present || slot.Config().Faults.Silent)
        return;
    if (frame.Command == kLineSerialNumber && frame.Data == QByteArray(1, char(kLineSerialNumberData)))
        Schedule(slot, 0, SerialNumberReplyFrame(slot.Config().Serial), TAfterReply::Nothing);
    else if (frame.Command == kLineLoaderStart)
        Schedule(slot, 0, LoaderStartReplyFrame(),
                 slot.Config().Mode == TSimMode::Application ? TAfterReply::RebootToBootloader
                                                             : TAfterReply::Nothing);
}

// ---- requests, replies and reboots ----

void TSimService::Trace(TSlot& slot, TSimRequest entry)
{
    entry.TimeMs = NowUs() / kUsPerMs;
    if (slot.Requests.size() < kMaxTraceEntries)
        slot.Requests.push_back(std::move(entry));
}

void TSimService::Process(TSlot& slot, const TAssembledRequest& request, uint64_t connectionId)
{
    TSimRequest entry;
    entry.Text = request.Kind == TRequestKind::Text;
    entry.Bytes = request.Bytes;
    entry.Length = uint32_t(request.Bytes.size());
    TLoaderHeader header;
    if (!entry.Text && ReadLoaderHeader(reinterpret_cast<const uint8_t*>(request.Bytes.constData()),
                                        size_t(request.Bytes.size()), header)) {
        entry.Command = header.Command;
        entry.Argument16 = header.Argument16;
        entry.Argument32 = header.Argument32;
        entry.Length = header.TotalLength;
    }
    Trace(slot, entry);
    if (!slot.Present)
        return;
    TDeviceReply reply = slot.Device.Handle(request);
    if (reply.After == TAfterReply::Vanish) {
        DropOff(slot, false, slot.Config().Mode);
        return;
    }
    if (!reply.Answer)
        return;
    QByteArray bytes = slot.IsCom() ? TunnelReplyFrame(reply.Bytes) : reply.Bytes;
    Schedule(slot, connectionId, bytes, reply.After);
}

void TSimService::Schedule(TSlot& slot, uint64_t connectionId, QByteArray bytes, TAfterReply after)
{
    const int64_t nowUs = NowUs();
    int64_t earliest = nowUs;
    if (slot.IsCom())
        earliest = std::max(earliest, slot.Pacing.ReplyNotBeforeUs(slot.Baud()));
    const int64_t at = Replies.Add(slot.Device.Config.Faults, slot.IsCom(), earliest, slot.Id,
                                   connectionId, std::move(bytes), after);
    if (at <= nowUs)
        RunDue(nowUs);
}

void TSimService::RunDue(int64_t nowUs)
{
    // Replies in the order they fall due; a reply may reboot its tracker.
    TPendingReply reply;
    while (Replies.TakeDue(nowUs, reply))
        Deliver(reply);
    bool changed = false;
    for (auto& slot : Slots) {
        if (slot->BackAtUs >= 0 && slot->BackAtUs <= nowUs) {
            slot->BackAtUs = -1;
            slot->Present = true;
            slot->Device.Config.Mode = slot->BackInto;
            slot->Device.StartSession();
            slot->Assembler.Reset();
            changed = true;
        }
        if (slot->IsCom())
            slot->Pacing.Flush(slot->Pty.MasterFd(), nowUs, slot->Baud());
        slot->Kernel.Flush(nowUs);
    }
    Server.Release(nowUs);
    if (changed)
        Events.DevicesChanged();
}

void TSimService::Deliver(const TPendingReply& reply)
{
    TSlot* slot = FindById(reply.SlotId);
    if (!slot)
        return;
    if (reply.ConnectionId == 0 && slot->IsKernel()) {
        const int64_t nowUs = NowUs();
        slot->Kernel.Queue(reply.Bytes, nowUs);
        slot->Kernel.Flush(nowUs);
    } else if (reply.ConnectionId == 0) {
        const int64_t nowUs = NowUs();
        slot->Pacing.Queue(reply.Bytes, std::min(reply.AtUs, nowUs));
        slot->Pacing.Flush(slot->Pty.MasterFd(), nowUs, slot->Baud());
    } else {
        const int64_t nowUs = NowUs();
        Server.Send(reply.ConnectionId, reply.Bytes, nowUs);
        // A tracker that restarts after its reply goes once the reply has left its bridge,
        // which drops off the bus with it.
        const int64_t heldUntilUs = Server.HeldUntilUs(reply.ConnectionId);
        if (reply.After != TAfterReply::Nothing && heldUntilUs != INT64_MAX) {
            Replies.AddAsIs({heldUntilUs, reply.SlotId, reply.ConnectionId, QByteArray(), reply.After});
            return;
        }
    }
    switch (reply.After) {
    case TAfterReply::RebootToBootloader:
        DropOff(*slot, true, TSimMode::Bootloader);
        break;
    case TAfterReply::RebootToApplication:
        DropOff(*slot, true, TSimMode::Application);
        break;
    default:
        break;
    }
}

void TSimService::DropOff(TSlot& slot, bool comesBack, TSimMode backInto)
{
    slot.Present = false;
    slot.Vanished = !comesBack;
    Server.CloseConnectionsOf(slot.Id);
    slot.Assembler.Reset();
    if (comesBack) {
        slot.BackAtUs = NowUs() + int64_t(std::max(0, slot.Config().RebootDelayMs)) * kUsPerMs;
        slot.BackInto = backInto;
    }
    Events.DevicesChanged();
}

}  // namespace ql::sim
