#pragma once
// A real main window with its discovery and write sessions against the in-process
// simulator, through the stand-in driver libraries.

#include "WindowFixture.h"
#include "app/DeviceControllers.h"
#include "app/Discovery.h"
#include "app/DriverCheck.h"
#include "app/WriteSessions.h"
#include "sim/Simulator.h"

namespace ql::test {

inline constexpr int kSimPassMs = 20000;

class SimWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        QString error;
        ASSERT_TRUE(sim.Start(&error)) << error.toStdString();
        qputenv("QLSIM_SOCKET", sim.SocketPath().toLocal8Bit());
        binders = SystemDriverBinders();
        WriteIni("[COMMON]\nLanguage=English\n");
    }
    TMainForm& ShowWithControllers(const LoaderOptions& options = {})
    {
        controllers = &InstallDeviceControllers(Make(options));
        return Show();
    }
    bool PassDone() { return PumpUntil([&] { return !controllers->Discovery().PassRunning(); }, kSimPassMs); }
    // Waits until a pass has ended after the given count of ended passes.
    bool PassEndedAfter(int ended)
    {
        return PumpUntil([&] { return controllers->Discovery().PassesEnded() > ended; }, kSimPassMs);
    }
    TDevEntry* Entry(int32_t serial) const { return FindDevice(form->DeviceList().Entries, serial); }
    bool Logged(const QString& line) const { return LogLines().contains(line); }

    sim::TSimulator sim;
    TDeviceControllers* controllers = nullptr;
};

}  // namespace ql::test
