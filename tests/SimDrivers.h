#pragma once
// The stand-in driver libraries bound at run time, as the loader binds them, and the
// loader's way of speaking through them: FTDI writes in 64-byte pieces, a read that takes
// what is queued 1 ms after the first byte shows, maker-USB reads polled back to back.

#include "links/DriverApi.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QLibrary>
#include <QThread>

#include <gtest/gtest.h>

namespace ql::test {

struct TStandIns {
    QLibrary FtdiLib{QString::fromLatin1(ftdi::kLibraryName)};
    QLibrary UsbLib{QString::fromLatin1(qlusb::kLibraryName)};
    ftdi::PFN_FT_Close FT_Close = nullptr;
    ftdi::PFN_FT_ResetDevice FT_ResetDevice = nullptr;
    ftdi::PFN_FT_Read FT_Read = nullptr;
    ftdi::PFN_FT_Write FT_Write = nullptr;
    ftdi::PFN_FT_SetTimeouts FT_SetTimeouts = nullptr;
    ftdi::PFN_FT_GetStatus FT_GetStatus = nullptr;
    ftdi::PFN_FT_CreateDeviceInfoList FT_CreateDeviceInfoList = nullptr;
    ftdi::PFN_FT_GetDeviceInfoList FT_GetDeviceInfoList = nullptr;
    ftdi::PFN_FT_OpenEx FT_OpenEx = nullptr;
    ftdi::PFN_FT_SetLatencyTimer FT_SetLatencyTimer = nullptr;  // optional, as for the loader
    ftdi::PFN_FT_GetLatencyTimer FT_GetLatencyTimer = nullptr;
    qlusb::PFN_MV_GetListDevices MV_GetListDevices = nullptr;
    qlusb::PFN_MV_OpenDevice MV_OpenDevice = nullptr;
    qlusb::PFN_MV_CloseDevice MV_CloseDevice = nullptr;
    qlusb::PFN_MV_ReadNotTimeOut MV_ReadNotTimeOut = nullptr;
    qlusb::PFN_MV_Write MV_Write = nullptr;
    qlusb::PFN_MV_Purge MV_Purge = nullptr;
    qlusb::PFN_MV_SetTimeouts MV_SetTimeouts = nullptr;

    bool Load()
    {
        if (!FtdiLib.load() || !UsbLib.load())
            return false;
#define QL_BIND(lib, name) name = reinterpret_cast<decltype(name)>(lib.resolve(#name)); if (!name) return false
        QL_BIND(FtdiLib, FT_Close); QL_BIND(FtdiLib, FT_ResetDevice); QL_BIND(FtdiLib, FT_Read);
        QL_BIND(FtdiLib, FT_Write); QL_BIND(FtdiLib, FT_SetTimeouts); QL_BIND(FtdiLib, FT_GetStatus);
        QL_BIND(FtdiLib, FT_CreateDeviceInfoList); QL_BIND(FtdiLib, FT_GetDeviceInfoList);
        QL_BIND(FtdiLib, FT_OpenEx);
        QL_BIND(UsbLib, MV_GetListDevices); QL_BIND(UsbLib, MV_OpenDevice);
        QL_BIND(UsbLib, MV_CloseDevice); QL_BIND(UsbLib, MV_ReadNotTimeOut); QL_BIND(UsbLib, MV_Write);
        QL_BIND(UsbLib, MV_Purge); QL_BIND(UsbLib, MV_SetTimeouts);
#undef QL_BIND
        FT_SetLatencyTimer = reinterpret_cast<ftdi::PFN_FT_SetLatencyTimer>(FtdiLib.resolve("FT_SetLatencyTimer"));
        FT_GetLatencyTimer = reinterpret_cast<ftdi::PFN_FT_GetLatencyTimer>(FtdiLib.resolve("FT_GetLatencyTimer"));
        return true;
    }
};

// One link opened through a stand-in, spoken to as the loader's channel does.
class TLoaderLink {
public:
    TLoaderLink(TStandIns& libs, bool ftdi) : Libs(libs), IsFtdi(ftdi) {}
    ~TLoaderLink() { Close(); }

    bool Open(uint32_t serial, uint16_t usbNumber = 1)
    {
        const QByteArray text = QByteArray::number(serial);
        if (IsFtdi) {
            if (Libs.FT_OpenEx(const_cast<char*>(text.constData()), ftdi::FT_OPEN_BY_SERIAL_NUMBER,
                               &Ftdi) != ftdi::FT_OK || !Ftdi)
                return false;
            Libs.FT_SetTimeouts(Ftdi, 1000, 200);
            return true;
        }
        if (Libs.MV_OpenDevice(usbNumber, text.constData(), &Usb) != qlusb::MV_OK || !Usb)
            return false;
        Libs.MV_SetTimeouts(Usb, 500, 200);
        return true;
    }
    void Close()
    {
        if (Ftdi) {
            Libs.FT_ResetDevice(Ftdi);
            Libs.FT_Close(Ftdi);
            Ftdi = nullptr;
        }
        if (Usb)
            Libs.MV_CloseDevice(&Usb);
        Usb = 0;
    }
    bool Send(const QByteArray& bytes)
    {
        if (!IsFtdi) {
            uint32_t written = 0;
            return Libs.MV_Write(Usb, reinterpret_cast<const uint8_t*>(bytes.constData()),
                                 uint32_t(bytes.size()), &written) == qlusb::MV_OK
                   && written == uint32_t(bytes.size());
        }
        for (qsizetype at = 0; at < bytes.size(); at += 64) {
            const qsizetype piece = std::min<qsizetype>(64, bytes.size() - at);
            ftdi::DWORD written = 0;
            if (Libs.FT_Write(Ftdi, const_cast<char*>(bytes.constData() + at), ftdi::DWORD(piece),
                              &written) != ftdi::FT_OK || written != ftdi::DWORD(piece))
                return false;
            if (at + piece < bytes.size())
                QThread::msleep(1);
        }
        return true;
    }
    QByteArray Read(int timeoutMs, int size = 1024)
    {
        QByteArray buffer(size, '\0');
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() <= timeoutMs) {
            if (IsFtdi) {
                ftdi::DWORD rx = 0, tx = 0, ev = 0;
                Libs.FT_GetStatus(Ftdi, &rx, &tx, &ev);
                if (rx == 0) {
                    QThread::msleep(1);
                    continue;
                }
                QThread::msleep(1);
                Libs.FT_GetStatus(Ftdi, &rx, &tx, &ev);
                ftdi::DWORD got = 0;
                if (Libs.FT_Read(Ftdi, buffer.data(), std::min<ftdi::DWORD>(rx, size), &got)
                    != ftdi::FT_OK)
                    return {};
                return buffer.left(int(got));
            }
            uint32_t got = 0;
            Libs.MV_ReadNotTimeOut(Usb, reinterpret_cast<uint8_t*>(buffer.data()), uint32_t(size), &got);
            if (got > 0)
                return buffer.left(int(got));
        }
        return {};
    }
    QByteArray Exchange(const QByteArray& request, int timeoutMs = 1000, int size = 1024)
    {
        return Send(request) ? Read(timeoutMs, size) : QByteArray();
    }

    TStandIns& Libs;
    bool IsFtdi;
    ftdi::FT_HANDLE Ftdi = nullptr;
    uint32_t Usb = 0;
};

}  // namespace ql::test
