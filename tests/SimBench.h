#pragma once
// The engine's bench against the in-process simulator: the stand-in driver libraries
// bound at run time, one channel, live options, and device entries made the way
// discovery makes them for each kind of link.

#include "TestLog.h"
#include "devices/DevEntry.h"
#include "firmware/FirmwareLoader.h"
#include "firmware/ImageFormat.h"
#include "links/DeviceChannel.h"
#include "links/DriverLibraries.h"
#include "core/LiveOptions.h"
#include "sim/Simulator.h"
#include "tests/SimFixture.h"

#include <gtest/gtest.h>

#include <memory>

namespace ql::test {

inline const char* LinkName(sim::TSimLink link)
{
    switch (link) {
    case sim::TSimLink::Ftdi: return "Ftdi";
    case sim::TSimLink::MakerUsb: return "MakerUsb";
    case sim::TSimLink::ComPort: return "ComPort";
    }
    return "?";
}

class TSimBench {
public:
    // Starts the simulator and binds both stand-in libraries (found through
    // LD_LIBRARY_PATH, which CTest sets for these tests).
    bool Start()
    {
        QString error;
        if (!Sim.Start(&error)) {
            ADD_FAILURE() << "simulator: " << error.toStdString();
            return false;
        }
        qputenv("QLSIM_SOCKET", Sim.SocketPath().toLocal8Bit());
        const bool ftdi = LoadFtdiLibrary();
        const bool qlusb = LoadQlusbLibrary();
        EXPECT_TRUE(ftdi && qlusb) << "stand-in libraries not found through LD_LIBRARY_PATH";
        return ftdi && qlusb;
    }

    // Adds the tracker and returns its entry as discovery would make it; for a COM
    // tracker the COM-port option is ticked and the port chosen.
    std::unique_ptr<TDevEntry> Add(const sim::TSimTracker& tracker)
    {
        if (!Sim.AddTracker(tracker)) {
            ADD_FAILURE() << "AddTracker " << tracker.Serial;
            return nullptr;
        }
        return Entry(tracker);
    }

    std::unique_ptr<TDevEntry> Entry(const sim::TSimTracker& tracker)
    {
        const QByteArray serial = QByteArray::number(tracker.Serial);
        switch (tracker.Link) {
        case sim::TSimLink::Ftdi:
            Options.UseComPort = false;
            return std::make_unique<TDevEntry>(serial, kNoUsbNumber, lkFtdi);
        case sim::TSimLink::MakerUsb:
            Options.UseComPort = false;
            return std::make_unique<TDevEntry>(serial, tracker.UsbTag, lkMakerUsb);
        case sim::TSimLink::ComPort:
            Options.UseComPort = true;
            Options.SetComPortName(Sim.ComPortPath(tracker.Serial));
            return std::make_unique<TDevEntry>(int32_t(tracker.Serial), lkComPort);
        }
        return nullptr;
    }

    sim::TSimulator Sim;
    TLiveOptions Options;
    TDeviceChannel Channel{Options};
};

// A loader that parses an image built in memory, as the window's loader would parse the
// chosen file. calls counts how often it ran.
inline TFirmwareLoader ImageLoader(const QByteArray& image, int* calls = nullptr)
{
    return [image, calls](FirmwareList& blocks, TFirmwareVersion& version) {
        if (calls)
            ++*calls;
        ClearFirmwareList(blocks);
        TCollectingLog ignored;
        return ParseFirmwareImage(reinterpret_cast<const uint8_t*>(image.constData()),
                                  uint32_t(image.size()), version, blocks, ignored);
    };
}

// The requests of a trace that are records (not text commands), by command.
inline std::vector<uint16_t> RecordCommands(const std::vector<sim::TSimRequest>& trace)
{
    std::vector<uint16_t> commands;
    for (const auto& request : trace)
        if (!request.Text && !request.RawFrame)
            commands.push_back(request.Command);
    return commands;
}

inline QList<QByteArray> TextCommands(const std::vector<sim::TSimRequest>& trace)
{
    QList<QByteArray> texts;
    for (const auto& request : trace)
        if (request.Text)
            texts << request.Bytes;
    return texts;
}

}  // namespace ql::test
