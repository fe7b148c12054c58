#include "app/DriverCheck.h"

#include "core/MessageCatalogue.h"
#include "links/DriverLibraries.h"

namespace ql {
namespace {

// The kernel's ftdi_sio reaches FTDI bridges whenever D2XX is missing
// (links/KernelTtyPort.h), so this system always has a way to FTDI trackers.
constexpr bool kSystemDriverReachesFtdi = true;

}  // namespace

TDriverBinders SystemDriverBinders() { return {&LoadFtdiLibrary, &LoadQlusbLibrary}; }

bool CheckDriverLibraries(const TDriverBinders& binders, TLogSink& log)
{
    const bool ftdi = binders.Ftdi && binders.Ftdi();
    const bool qlusb = binders.Qlusb && binders.Qlusb();
    if (!ftdi && !qlusb && !kSystemDriverReachesFtdi)
        return false;
    if (!ftdi)
        LogCatalogue(log, lkInfo, msg::FtdiThroughSystemDriver);
    if (!qlusb)
        LogCatalogue(log, lkError, msg::MakerDriverMissing);
    return true;
}

}  // namespace ql
