#pragma once
// qltracker-sim as its own process for the measurements: started with a tracker file,
// scripted through its control socket, stopped with "quit". Its bytes and its CPU time
// stay out of the loader's figures. Starting it points the stand-in driver libraries of
// this process at it ($QLSIM_SOCKET) and its device-change datagrams at eventsPath.

#include <QByteArray>
#include <QLocalSocket>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>

namespace ql::bench {

class TSimProcess {
public:
    ~TSimProcess();

    // trackersJson: the value of "Trackers" (a JSON array). False with the reason in error.
    bool Start(const QByteArray& trackersJson, const QString& eventsPath, QString& error);
    // One control command; the answer line ("OK …" or "ERR …"), empty when the socket failed.
    QByteArray Ask(const QByteArray& command);
    bool AskOk(const QByteArray& command) { return Ask(command).startsWith("OK"); }
    // A COM tracker's line counters: bytes to and from the tracker.
    bool WireBytes(uint32_t serial, uint64_t& toTracker, uint64_t& fromTracker);
    // COM, paced: the line's waiting for the loader and the simulator's lateness (linetime).
    bool LineTimes(uint32_t serial, double& waitingS, double& lateS);
    QString ComPortPath(uint32_t serial);
    // The simulator's CPU time so far (user and system, from /proc/PID/stat), so that a
    // limit of the far end is not taken for one of the loader. Negative when unknown.
    double CpuSeconds() const;
    void Stop();

private:
    QTemporaryDir dir_;
    QProcess process_;
    QLocalSocket control_;
};

// A tracker of the simulator in JSON: its bootloader, processor 0x00400419 (map 7), the
// link named as the simulator names it, and optional extra fields ("\"Faults\": {…}").
QByteArray TrackerJson(uint32_t serial, const char* link, const QByteArray& extra = {});

}  // namespace ql::bench
