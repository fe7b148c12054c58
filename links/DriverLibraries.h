#pragma once
// The two driver libraries, bound at run time through the system's normal library search
// only: all of a library's required calls or none. Calls that not every version of a
// library has (FT_SetLatencyTimer) are bound on their own: null when missing, the library
// still in use. Bound once on the UI thread before the first
// discovery pass and never changed afterwards, so the bindings are read without a lock.

#include "links/DriverApi.h"

namespace ql {

struct TFtdiLibrary {
    ftdi::PFN_FT_Close Close = nullptr;
    ftdi::PFN_FT_ResetDevice ResetDevice = nullptr;
    ftdi::PFN_FT_Read Read = nullptr;
    ftdi::PFN_FT_Write Write = nullptr;
    ftdi::PFN_FT_SetTimeouts SetTimeouts = nullptr;
    ftdi::PFN_FT_GetStatus GetStatus = nullptr;
    ftdi::PFN_FT_CreateDeviceInfoList CreateDeviceInfoList = nullptr;
    ftdi::PFN_FT_GetDeviceInfoList GetDeviceInfoList = nullptr;
    ftdi::PFN_FT_OpenEx OpenEx = nullptr;
    ftdi::PFN_FT_SetLatencyTimer SetLatencyTimer = nullptr;  // optional
    bool Available = false;
};

struct TQlusbLibrary {
    qlusb::PFN_MV_GetListDevices GetListDevices = nullptr;
    qlusb::PFN_MV_OpenDevice OpenDevice = nullptr;
    qlusb::PFN_MV_CloseDevice CloseDevice = nullptr;
    qlusb::PFN_MV_ReadNotTimeOut ReadNotTimeOut = nullptr;
    qlusb::PFN_MV_Write Write = nullptr;
    qlusb::PFN_MV_Purge Purge = nullptr;
    qlusb::PFN_MV_SetTimeouts SetTimeouts = nullptr;
    bool Available = false;
};

// Each binds its library unless it is bound already; true when it is available.
bool LoadFtdiLibrary();
bool LoadQlusbLibrary();

// The bindings; Available is false until a load succeeded.
const TFtdiLibrary& FtdiLibrary();
const TQlusbLibrary& QlusbLibrary();

// FtdiLibrary().Available.
bool FtdiLibraryBound();

}  // namespace ql
