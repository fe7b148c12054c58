#include "links/DriverLibraries.h"

#include <QLibrary>

namespace ql {
namespace {

TFtdiLibrary gFtdi;
TQlusbLibrary gQlusb;

// Looks up one call; a missing one leaves the whole binding unusable.
template <typename Fn>
bool Bind(QLibrary& library, const char* name, Fn& out)
{
    out = reinterpret_cast<Fn>(library.resolve(name));
    return out != nullptr;
}

// The base name only: QLibrary adds the platform's prefix and suffix and asks the system's
// own search (LD_LIBRARY_PATH, the loader cache), never a folder baked in at build time.
bool OpenLibrary(QLibrary& library, const char* baseName)
{
    library.setFileName(QString::fromLatin1(baseName));
    return library.load();
}

}  // namespace

bool LoadFtdiLibrary()
{
    if (gFtdi.Available)
        return true;
    // Kept for the life of the program once bound; a failed attempt releases it again.
    static QLibrary library;
    if (!OpenLibrary(library, ftdi::kLibraryName))
        return false;
    TFtdiLibrary bound;
    // The table order; && stops at the first call that is missing.
    const bool all = Bind(library, "FT_Close", bound.Close)
                     && Bind(library, "FT_ResetDevice", bound.ResetDevice)
                     && Bind(library, "FT_Read", bound.Read)
                     && Bind(library, "FT_Write", bound.Write)
                     && Bind(library, "FT_SetTimeouts", bound.SetTimeouts)
                     && Bind(library, "FT_GetStatus", bound.GetStatus)
                     && Bind(library, "FT_CreateDeviceInfoList", bound.CreateDeviceInfoList)
                     && Bind(library, "FT_GetDeviceInfoList", bound.GetDeviceInfoList)
                     && Bind(library, "FT_OpenEx", bound.OpenEx);
    if (!all) {
        library.unload();
        return false;
    }
    // Older libraries lack it; the bridges then keep their own timer.
    Bind(library, "FT_SetLatencyTimer", bound.SetLatencyTimer);
    bound.Available = true;
    gFtdi = bound;
    return true;
}

bool LoadQlusbLibrary()
{
    if (gQlusb.Available)
        return true;
    static QLibrary library;
    if (!OpenLibrary(library, qlusb::kLibraryName))
        return false;
    TQlusbLibrary bound;
    const bool all = Bind(library, "MV_GetListDevices", bound.GetListDevices)
                     && Bind(library, "MV_OpenDevice", bound.OpenDevice)
                     && Bind(library, "MV_CloseDevice", bound.CloseDevice)
                     && Bind(library, "MV_ReadNotTimeOut", bound.ReadNotTimeOut)
                     && Bind(library, "MV_Write", bound.Write)
                     && Bind(library, "MV_Purge", bound.Purge)
                     && Bind(library, "MV_SetTimeouts", bound.SetTimeouts);
    if (!all) {
        library.unload();
        return false;
    }
    bound.Available = true;
    gQlusb = bound;
    return true;
}

const TFtdiLibrary& FtdiLibrary() { return gFtdi; }
const TQlusbLibrary& QlusbLibrary() { return gQlusb; }

bool FtdiLibraryBound() { return FtdiLibrary().Available; }

}  // namespace ql
