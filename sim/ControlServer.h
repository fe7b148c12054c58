#pragma once
// qltracker-sim's control socket: a Unix stream socket that takes one command per line
// and answers each with one line, "OK ..." or "ERR reason". The commands are the table of
// sim/ControlCommands.cpp. Served on a thread of its own; any number of clients, one after
// another line by line.

#include "sim/Simulator.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <thread>

namespace ql::sim {

class TControlServer {
public:
    explicit TControlServer(TSimulator& simulator) : Sim(simulator) {}
    ~TControlServer();

    bool Start(const QString& path, QString* error = nullptr);
    void Stop();
    bool QuitRequested() const { return Quit; }

    // One command line (without its line end) and its answer line.
    QByteArray Execute(const QByteArray& line);

private:
    void Run();

    TSimulator& Sim;
    QString Path;
    int ListenFd = -1;
    int WakeRead = -1;
    int WakeWrite = -1;
    std::atomic<bool> Running{false};
    std::atomic<bool> Quit{false};
    std::thread Thread;
};

}  // namespace ql::sim
