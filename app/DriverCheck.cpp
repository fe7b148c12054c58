#include "app/DriverCheck.h"

#include "core/MessageCatalogue.h"
#include "links/DriverLibraries.h"

namespace ql {

TDriverBinders SystemDriverBinders() { return {&LoadFtdiLibrary, &LoadQlusbLibrary}; }

bool CheckDriverLibraries(const TDriverBinders& binders, TLogSink& log)
{
    const bool ftdi = binders.Ftdi && binders.Ftdi();
    const bool qlusb = binders.Qlusb && binders.Qlusb();
    if (!ftdi && !qlusb)
        return false;
    if (!ftdi)
        LogCatalogue(log, lkError, msg::FtdiDriverMissing);
    if (!qlusb)
        LogCatalogue(log, lkError, msg::MakerDriverMissing);
    return true;
}

}  // namespace ql
