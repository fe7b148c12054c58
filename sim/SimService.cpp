#include "sim/SimService.h"

#include "links/Frame.h"
#include "links/LoaderRecord.h"
#include "sim/PseudoTerminal.h"
#include "sim/StandInWire.h"
#include "sim/TrackerCommands.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace ql::sim {
namespace {

constexpr char kEventsEnv[] = "QLFW_DEVICE_EVENTS";
constexpr char kDevicesChanged[] = "7";
constexpr size_t kMaxTraceEntries = 200000;
constexpr int kLineRetryMs = 1;        // a full pty buffer is tried again this soon
constexpr int64_t kIdleWaitUs = 1000000;
constexpr qsizetype kLineBatchBytes = 8;  // paced: bytes handed to the line at once  // nothing due: the thread still looks round once a second
constexpr int kBitsPerByte = 10;       // 8N1: start bit, 8 data bits, stop bit
constexpr uint8_t kStrayByte = 0x00;
constexpr size_t kMaxSocketPath = sizeof(sockaddr_un::sun_path) - 1;

bool FillAddress(const QByteArray& path, sockaddr_un& address)
{
    if (path.isEmpty() || size_t(path.size()) > kMaxSocketPath)
        return false;
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    return true;
}

int64_t WireTimeUs(qsizetype bytes, int baud)
{
    return baud > 0 ? int64_t(bytes) * kBitsPerByte * 1000000 / baud : 0;
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
    QByteArray Out;          // reply bytes not yet on the wire
    int64_t WireFreeUs = 0;  // paced: when the outgoing wire takes the next byte
    int64_t InboundDoneUs = 0;  // paced: when the last received byte has crossed the wire
    int64_t RetryAtUs = -1;
    uint64_t WireIn = 0;   // bytes read from the line
    uint64_t WireOut = 0;  // bytes written to the line

    const TSimTracker& Config() const { return Device.Config; }
    bool IsCom() const { return Config().Link == TSimLink::ComPort; }
    int Baud() const { return Config().Faults.PaceBaud; }
};

struct TSimService::TConnection {
    uint64_t Id = 0;
    int Fd = -1;
    uint64_t SlotId = 0;  // 0 until a device is opened on it
    TRequestAssembler Assembler;
};

struct TSimService::TPending {
    int64_t AtUs = 0;
    uint64_t SlotId = 0;
    uint64_t ConnectionId = 0;  // 0: the slot's COM line
    QByteArray Bytes;
    TAfterReply After = TAfterReply::Nothing;
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
    EventsPath = qgetenv(kEventsEnv);
    EventsFd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
}

TSimService::~TSimService()
{
    Stop();
    {
        std::lock_guard guard(Lock);
        Slots.clear();
    }
    if (EventsFd >= 0)
        ::close(EventsFd);
    if (!Folder.isEmpty())
        QDir(Folder).removeRecursively();
}

bool TSimService::Start(QString* error)
{
    auto fail = [&](const char* what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                  QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    if (Running)
        return true;
    if (Folder.isEmpty())
        return fail("temporary folder");
    sockaddr_un address;
    if (!FillAddress(QFile::encodeName(ListenPath), address))
        return fail("socket path");
    ::unlink(address.sun_path);
    ListenFd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (ListenFd < 0)
        return fail("socket");
    if (::bind(ListenFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
        || ::listen(ListenFd, 64) != 0) {
        ::close(ListenFd);
        ListenFd = -1;
        return fail("bind");
    }
    int wake[2];
    if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
        ::close(ListenFd);
        ListenFd = -1;
        return fail("pipe");
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
    for (auto& connection : Connections)
        ::close(connection->Fd);
    Connections.clear();
    Pending.clear();
    ::close(ListenFd);
    ::close(WakeRead);
    ::close(WakeWrite);
    ListenFd = WakeRead = WakeWrite = -1;
    ::unlink(QFile::encodeName(ListenPath).constData());
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
    std::lock_guard guard(Lock);
    if (tracker.Serial == 0 || Find(tracker.Serial))
        return false;
    auto slot = std::make_unique<TSlot>(tracker);
    if (slot->IsCom() && !slot->Pty.Open())
        return false;
    slot->Id = NextId++;
    Slots.push_back(std::move(slot));
    Notify();
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
    CloseConnectionsOf(id);
    std::erase_if(Pending, [id](const TPending& p) { return p.SlotId == id; });
    std::erase_if(Slots, [id](const auto& s) { return s->Id == id; });
    Notify();
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
    toTracker = slot->WireIn;
    fromTracker = slot->WireOut;
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
    EventsPath = QFile::encodeName(path);
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

void TSimService::Notify()
{
    sockaddr_un address;
    if (EventsFd >= 0 && FillAddress(EventsPath, address))
        ::sendto(EventsFd, kDevicesChanged, 1, MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<sockaddr*>(&address), sizeof(address));
}

int64_t TSimService::NextTimeoutUs(int64_t nowUs) const
{
    int64_t next = INT64_MAX;
    for (const TPending& p : Pending)
        next = std::min(next, p.AtUs);
    for (const auto& slot : Slots) {
        if (slot->BackAtUs >= 0)
            next = std::min(next, slot->BackAtUs);
        if (slot->Out.isEmpty())
            continue;
        if (slot->RetryAtUs >= 0) {
            next = std::min(next, slot->RetryAtUs);
        } else {
            // A paced line hands bytes over like a UART's receive FIFO: a batch once its
            // last byte has crossed the wire, the end of a reply as soon as it has.
            const qsizetype batch = std::min<qsizetype>(kLineBatchBytes, slot->Out.size());
            next = std::min(next, slot->WireFreeUs + WireTimeUs(batch - 1, slot->Baud()));
        }
    }
    // Microseconds, not milliseconds: a paced line at 115200 baud takes a byte every
    // 87 us, and a wake-up rounded to the next millisecond would hold each reply back.
    if (next == INT64_MAX)
        return kIdleWaitUs;
    return std::clamp<int64_t>(next - nowUs, 0, kIdleWaitUs);
}

void TSimService::Run()
{
    std::vector<pollfd> fds;
    std::vector<uint64_t> owners;  // connection id, or slot id with the top bit set
    constexpr uint64_t kSlotBit = 1ull << 63;
    while (Running) {
        int64_t timeoutUs;
        {
            std::lock_guard guard(Lock);
            fds.assign({{WakeRead, POLLIN, 0}, {ListenFd, POLLIN, 0}});
            owners.assign({0, 0});
            for (const auto& connection : Connections) {
                fds.push_back({connection->Fd, POLLIN, 0});
                owners.push_back(connection->Id);
            }
            for (const auto& slot : Slots) {
                if (slot->IsCom()) {
                    fds.push_back({slot->Pty.MasterFd(), POLLIN, 0});
                    owners.push_back(slot->Id | kSlotBit);
                }
            }
            timeoutUs = NextTimeoutUs(NowUs());
        }
        const timespec timeout{time_t(timeoutUs / 1000000), long(timeoutUs % 1000000) * 1000};
        ::ppoll(fds.data(), nfds_t(fds.size()), &timeout, nullptr);
        std::lock_guard guard(Lock);
        if (fds[0].revents) {
            char drain[64];
            while (::read(WakeRead, drain, sizeof(drain)) > 0) {
            }
        }
        if (fds[1].revents & POLLIN)
            Accept();
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            if (owners[i] & kSlotBit) {
                if (TSlot* slot = FindById(owners[i] & ~kSlotBit))
                    ReadLine(*slot);
            } else
                ReadConnection(owners[i]);
        }
        RunDue(NowUs());
    }
}

void TSimService::Accept()
{
    for (;;) {
        const int fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        auto connection = std::make_unique<TConnection>();
        connection->Id = NextId++;
        connection->Fd = fd;
        Connections.push_back(std::move(connection));
    }
}

TSimService::TConnection* TSimService::FindConnection(uint64_t id)
{
    for (auto& connection : Connections)
        if (connection->Id == id)
            return connection.get();
    return nullptr;
}

void TSimService::CloseConnection(uint64_t id)
{
    auto it = std::find_if(Connections.begin(), Connections.end(),
                           [id](const auto& c) { return c->Id == id; });
    if (it == Connections.end())
        return;
    ::close((*it)->Fd);
    Connections.erase(it);
    std::erase_if(Pending, [id](const TPending& p) { return p.ConnectionId == id; });
}

void TSimService::CloseConnectionsOf(uint64_t slotId)
{
    std::vector<uint64_t> ids;
    for (const auto& connection : Connections)
        if (connection->SlotId == slotId)
            ids.push_back(connection->Id);
    for (uint64_t id : ids)
        CloseConnection(id);
}

void TSimService::ReadConnection(uint64_t id)
{
    std::vector<uint8_t> buffer(wire::kMaxMessage);
    while (TConnection* connection = FindConnection(id)) {
        const ssize_t n = ::recv(connection->Fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n <= 0) {
            CloseConnection(id);
            return;
        }
        HandleMessage(*connection, buffer.data(), size_t(n));
    }
}

void TSimService::HandleMessage(TConnection& connection, const uint8_t* bytes, size_t count)
{
    auto send = [&](const std::vector<uint8_t>& message) {
        ::send(connection.Fd, message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    };
    const uint8_t type = bytes[0];
    if (connection.SlotId != 0) {
        TSlot* slot = FindById(connection.SlotId);
        if (type != wire::kWrite || !slot || count < 2)
            return;
        connection.Assembler.Append(QByteArray(reinterpret_cast<const char*>(bytes + 1),
                                               qsizetype(count - 1)),
                                    NowUs() / 1000);
        const uint64_t id = connection.Id;
        TAssembledRequest request;
        for (TConnection* c = &connection; c && c->Assembler.Next(request); c = FindConnection(id)) {
            // A reply may make the tracker drop off, which closes this connection.
            Process(*slot, request, id);
        }
        return;
    }
    if (count < 2)
        return;
    const TSimLink link = bytes[1] == wire::kLinkFtdi ? TSimLink::Ftdi : TSimLink::MakerUsb;
    if (type == wire::kList) {
        std::vector<wire::TListEntry> entries;
        for (const auto& slot : Slots) {
            const TSimTracker& t = slot->Config();
            if (!slot->Present || t.Link != link)
                continue;
            const QByteArray text = link == TSimLink::Ftdi ? t.FtdiDescription.left(63) : QByteArray();
            entries.push_back({t.Serial, t.UsbTag, text.toStdString()});
        }
        send(wire::BuildListReply(entries));
    } else if (type == wire::kOpen && count >= wire::kOpenRequestHeader) {
        const uint16_t tag = wire::GetU16(bytes + 2);
        const QByteArray serialText(reinterpret_cast<const char*>(bytes + wire::kOpenRequestHeader),
                                    qsizetype(count - wire::kOpenRequestHeader));
        TSlot* found = nullptr;
        for (const auto& slot : Slots) {
            const TSimTracker& t = slot->Config();
            if (slot->Present && t.Link == link && QByteArray::number(t.Serial) == serialText
                && (link == TSimLink::Ftdi || t.UsbTag == tag))
                found = slot.get();
        }
        if (found) {
            connection.SlotId = found->Id;
            found->Device.StartSession();
        }
        send({wire::kOpenReply, uint8_t(found ? 0 : 1)});
    }
}

void TSimService::ReadLine(TSlot& slot)
{
    char buffer[4096];
    const int64_t nowUs = NowUs();
    for (;;) {
        const ssize_t n = ::read(slot.Pty.MasterFd(), buffer, sizeof(buffer));
        if (n <= 0)
            return;
        slot.WireIn += uint64_t(n);
        // Paced: the bytes count as received when the last of them has crossed the wire.
        if (slot.Baud() > 0)
            slot.InboundDoneUs = std::max(slot.InboundDoneUs, nowUs) + WireTimeUs(n, slot.Baud());
        slot.Line.Append(QByteArray(buffer, qsizetype(n)), nowUs / 1000);
        TComFrame frame;
        while (slot.Line.Next(frame))
            HandleFrame(slot, frame);
    }
}

void TSimService::HandleFrame(TSlot& slot, const TComFrame& frame)
{
    if (frame.Command == kLineTunnel) {
        slot.Assembler.Append(frame.Data, NowUs() / 1000);
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
        Schedule(slot, 0, SerialNumberReplyFrame(slot.Config().Serial), TAfterReply::Nothing, 0);
    else if (frame.Command == kLineLoaderStart)
        Schedule(slot, 0, LoaderStartReplyFrame(),
                 slot.Config().Mode == TSimMode::Application ? TAfterReply::RebootToBootloader
                                                             : TAfterReply::Nothing,
                 0);
}

void TSimService::Trace(TSlot& slot, TSimRequest entry)
{
    entry.TimeMs = NowUs() / 1000;
    if (slot.Requests.size() < kMaxTraceEntries)
        slot.Requests.push_back(std::move(entry));
}

void TSimService::Process(TSlot& slot, const TAssembledRequest& request, uint64_t connection)
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
    Schedule(slot, connection, bytes, reply.After, 0);
}

void TSimService::Schedule(TSlot& slot, uint64_t connection, QByteArray bytes, TAfterReply after,
                           int64_t notBeforeUs)
{
    const int64_t nowUs = NowUs();
    int64_t at = std::max(notBeforeUs, nowUs);
    int& corrupt = slot.Device.Config.Faults.CorruptReplies;
    if (corrupt > 0 && !bytes.isEmpty()) {
        --corrupt;
        bytes[bytes.size() / 2] = char(~bytes[bytes.size() / 2]);
    }
    if (slot.IsCom()) {
        if (slot.Baud() > 0)
            at = std::max(at, slot.InboundDoneUs);
        if (slot.Config().Faults.StrayByteBeforeFrame)
            bytes.prepend(char(kStrayByte));
    }
    at += int64_t(slot.Config().Faults.ReplyDelayMs) * 1000;
    Pending.push_back({at, slot.Id, connection, std::move(bytes), after});
    if (at <= nowUs)
        RunDue(nowUs);
}

void TSimService::RunDue(int64_t nowUs)
{
    // Replies in the order they fall due; a reply may reboot its tracker.
    for (;;) {
        auto due = std::min_element(Pending.begin(), Pending.end(),
                                    [](const TPending& a, const TPending& b) { return a.AtUs < b.AtUs; });
        if (due == Pending.end() || due->AtUs > nowUs)
            break;
        TPending pending = std::move(*due);
        Pending.erase(due);
        Deliver(pending);
    }
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
            FlushLine(*slot, nowUs);
    }
    if (changed)
        Notify();
}

void TSimService::Deliver(const TPending& pending)
{
    TSlot* slot = FindById(pending.SlotId);
    if (!slot)
        return;
    if (pending.ConnectionId == 0) {
        if (slot->Out.isEmpty())
            slot->WireFreeUs = std::max(slot->WireFreeUs, NowUs());
        slot->Out.append(pending.Bytes);
        FlushLine(*slot, NowUs());
    } else {
        for (const auto& connection : Connections) {
            if (connection->Id != pending.ConnectionId)
                continue;
            QByteArray message = pending.Bytes;
            message.prepend(char(wire::kData));
            ::send(connection->Fd, message.constData(), size_t(message.size()),
                   MSG_DONTWAIT | MSG_NOSIGNAL);
        }
    }
    switch (pending.After) {
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

void TSimService::FlushLine(TSlot& slot, int64_t nowUs)
{
    if (slot.Out.isEmpty() || (slot.RetryAtUs >= 0 && slot.RetryAtUs > nowUs))
        return;
    slot.RetryAtUs = -1;
    qsizetype allowed = slot.Out.size();
    const int baud = slot.Baud();
    if (baud > 0) {
        if (slot.WireFreeUs > nowUs)
            return;
        allowed = std::min<qsizetype>(allowed, 1 + (nowUs - slot.WireFreeUs) * baud
                                                       / (kBitsPerByte * 1000000));
    }
    const ssize_t n = ::write(slot.Pty.MasterFd(), slot.Out.constData(), size_t(allowed));
    if (n <= 0) {
        slot.RetryAtUs = nowUs + kLineRetryMs * 1000;
        return;
    }
    slot.Out.remove(0, n);
    slot.WireOut += uint64_t(n);
    if (baud > 0)
        slot.WireFreeUs += WireTimeUs(n, baud);
}

void TSimService::DropOff(TSlot& slot, bool comesBack, TSimMode backInto)
{
    slot.Present = false;
    slot.Vanished = !comesBack;
    CloseConnectionsOf(slot.Id);
    slot.Assembler.Reset();
    if (comesBack) {
        slot.BackAtUs = NowUs() + int64_t(std::max(0, slot.Config().RebootDelayMs)) * 1000;
        slot.BackInto = backInto;
    }
    Notify();
}

}  // namespace ql::sim
