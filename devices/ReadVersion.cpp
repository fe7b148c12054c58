#include "devices/ReadVersion.h"

#include "core/MessageCatalogue.h"
#include "core/MessageFormat.h"
#include "devices/Identification.h"
#include "firmware/FirmwareBlock.h"
#include "links/ComPortLog.h"
#include "links/DeviceChannel.h"
#include "links/DriverLibraries.h"
#include "links/KernelBridgeList.h"
#include "core/LiveOptions.h"
#include "platform/Tick.h"

#include <QtEndian>

#include <cstring>
#include <exception>

namespace ql {
namespace {

// A fixed-size text field of a driver record, up to its first zero byte.
QByteArray FieldText(const char* field, size_t size)
{
    return QByteArray(field, qsizetype(::strnlen(field, size)));
}

// Runs one stage; an exception ends the stage and its text is handed to report.
template <typename Stage, typename Report>
void Guarded(Stage&& stage, Report&& report)
{
    try {
        stage();
    } catch (const TFirmwareBlockTooBig& tooBig) {
        report(tooBig.Text());
    } catch (const std::exception& error) {
        report(QString::fromUtf8(error.what()));
    } catch (...) {
        report(QString());
    }
}

}  // namespace

TReadVersion::TReadVersion(TDeviceList& known, TDeviceChannel& channel, THandOver& handOver,
                           TLogSink& uiLog, const TLiveOptions& options, QString serialFilter,
                           TFirmwareLoader loadFirmware)
    : known_(known), pass_(channel, handOver, uiLog, options, std::move(loadFirmware)),
      serialFilter_(std::move(serialFilter))
{
}

TReadVersion::~TReadVersion() { Join(); }

void TReadVersion::Start(std::function<void()> finished)
{
    thread_ = std::thread([this, finished = std::move(finished)] {
        Execute();
        if (finished)
            finished();
    });
}

void TReadVersion::Join()
{
    if (thread_.joinable())
        thread_.join();
}

bool TReadVersion::WaitUnlessStopped(uint32_t ms) const
{
    const uint32_t start = TickCount();
    while (TickBefore(start, ms)) {
        if (StopRequested())
            return false;
        SleepMs(kStopPollMs);
    }
    return !StopRequested();
}

void TReadVersion::Execute()
{
    ErrorCode = 0;
    LastResponseCode = 0;
    pass_.ErrorCode = kPassOk;
    comPortHeld_ = false;
    startTick_ = TickCount();
    Search();
    ElapsedMs = int(TickCount() - startTick_);
}

void TReadVersion::LogException(const QString& what)
{
    PassLog(lkError, 0, msg::SearchException, what);
}

void TReadVersion::LogException(std::vector<TPendingLine>& pending, const QString& what)
{
    pending.push_back({lkError, 0, FormatText(Msg(msg::SearchException), what)});
}

void TReadVersion::Search()
{
    Guarded(
        [&] {
            if (pass_.Options.UseComPort.load()) {
                ProbeComPort();
                return;
            }
            if (!pass_.Options.DisableFtdi.load())
                EnumerateFtdi();
            if (!StopRequested())
                EnumerateMakerUsb();
        },
        [&](const QString& what) { LogException(what); });
    Compare();
    Identify();
    ErrorCode = pass_.ErrorCode;
}

void TReadVersion::Compare()
{
    if (comPortHeld_)
        return;
    std::vector<TPendingLine> pending;
    {
        QMutexLocker locker(&known_.Lock);
        Guarded(
            [&] {
                for (const auto& entry : known_.Entries) {
                    if (FindDevice(FoundList, entry->SerialNumber)) {
                        RemoveDevice(FoundList, entry->SerialNumber);
                        if (pass_.Options.UseComPort.load())
                            pending.push_back({lkInfo, entry->SerialNumber, Msg(msg::DeviceConnected)});
                        continue;
                    }
                    // Read under the lock: the session's end clears Writer under it too,
                    // so the thread cannot be freed between the test and the request.
                    if (TSessionControl* writer = entry->Writer.load())
                        writer->RequestStop();
                    entry->Gone.store(true);
                }
            },
            [&](const QString& what) { LogException(pending, what); });
    }
    for (const TPendingLine& line : pending)
        pass_.Log.Text(line.Kind, line.Device, line.Text);
}

void TReadVersion::Identify()
{
    Guarded(
        [&] {
            for (const auto& entry : FoundList) {
                if (StopRequested())
                    return;
                IdentifyDevice(pass_, *entry);
            }
        },
        [&](const QString& what) { LogException(what); });
}

void TReadVersion::EnumerateFtdi()
{
    const TFtdiLibrary& ftdi = FtdiLibrary();
    if (!ftdi.Available) {
        EnumerateKernelFtdi();
        return;
    }
    std::vector<ftdi::FT_DEVICE_LIST_INFO_NODE> records;
    bool complete = false;
    for (int attempt = 0; attempt < kFtdiListAttempts && !complete; ++attempt) {
        if (attempt > 0 && !WaitUnlessStopped(kFtdiListRetryMs))
            return;
        ftdi::DWORD count = 0;
        if (ftdi.CreateDeviceInfoList(&count) != ftdi::FT_OK) {
            PassLog(lkError, 0, msg::DriverError);
            return;
        }
        if (count == 0)
            return;
        records.assign(count, ftdi::FT_DEVICE_LIST_INFO_NODE{});
        ftdi::DWORD read = count;
        if (ftdi.GetDeviceInfoList(records.data(), &read) != ftdi::FT_OK) {
            PassLog(lkError, 0, msg::DriverError);
            return;
        }
        // The driver may report fewer records than it counted; never more than there is room for.
        records.resize(std::min<size_t>(read, count));
        complete = true;
        for (const auto& record : records) {
            if (record.Description[0] == '\0')
                complete = false;
        }
    }
    if (!complete)
        return;
    for (const auto& record : records) {
        if (FieldText(record.Description, sizeof(record.Description)) == kTrackerDescription)
            FoundList.push_back(std::make_unique<TDevEntry>(
                FieldText(record.SerialNumber, sizeof(record.SerialNumber)), kNoUsbNumber, lkFtdi));
    }
}

void TReadVersion::EnumerateKernelFtdi()
{
    for (const TKernelBridge& bridge : ListKernelBridges()) {
        // A serial string that is no number names no tracker the loader can reach again
        // (the port's open looks the bridge up by number).
        if (SerialFromText(bridge.Serial) <= 0)
            continue;
        if (serialFilter_.isEmpty() || bridge.Serial == serialFilter_.toLatin1())
            FoundList.push_back(std::make_unique<TDevEntry>(bridge.Serial, kNoUsbNumber, lkFtdi));
    }
}

void TReadVersion::EnumerateMakerUsb()
{
    const TQlusbLibrary& qlusb = QlusbLibrary();
    if (!qlusb.Available)
        return;
    uint32_t count = kMakerListFirstCount;
    if (qlusb.GetListDevices(qlusb::kListSelector, nullptr, &count) != qlusb::MV_OK) {
        PassLog(lkError, 0, msg::DriverError);
        return;
    }
    if (count == 0)
        return;
    std::vector<uint8_t> records(size_t(count) * qlusb::kDeviceRecordSize);
    uint32_t read = count;
    if (qlusb.GetListDevices(qlusb::kListSelector, records.data(), &read) != qlusb::MV_OK) {
        PassLog(lkError, 0, msg::DriverError);
        return;
    }
    for (uint32_t i = 0; i < std::min(read, count); ++i) {
        const uint8_t* record = records.data() + size_t(i) * qlusb::kDeviceRecordSize;
        const uint16_t usbNumber = qFromLittleEndian<uint16_t>(record + qlusb::kRecordUsbNumberOffset);
        const QByteArray serial =
            FieldText(reinterpret_cast<const char*>(record + qlusb::kRecordSerialOffset), qlusb::kRecordSerialSize);
        if (serialFilter_.isEmpty() || serial == serialFilter_.toLatin1())
            FoundList.push_back(std::make_unique<TDevEntry>(serial, usbNumber, lkMakerUsb));
    }
}

void TReadVersion::ProbeComPort()
{
    TDevEntry probe;
    TComPortFault fault;
    // A write session's port is not probed: its line carries the session's records.
    const auto heldBySession = [&] {
        comPortHeld_ = fault.Stage == TComPortFault::Session;
        return comPortHeld_;
    };
    const uint32_t serial = pass_.Channel.RequestSerialNumber(probe, &fault);
    if (heldBySession())
        return;
    if (serial == 0) {
        PassLog(lkError, 0, msg::NoReply);
        if (PassReportsComPortFault(fault))
            LogComPortFault(pass_.Log, 0, fault);
        return;
    }
    if (!pass_.Channel.RequestLoaderStart(probe, &fault)) {
        if (heldBySession())
            return;
        PassLog(lkError, 0, msg::LoaderStartError);
        if (PassReportsComPortFault(fault))
            LogComPortFault(pass_.Log, 0, fault);
        return;
    }
    PassLog(lkSuccess, 0, msg::LoaderStarting);
    if (!WaitUnlessStopped(kComLoaderStartWaitMs))
        return;
    FoundList.push_back(std::make_unique<TDevEntry>(int32_t(serial), lkComPort));
}

}  // namespace ql
