#pragma once
// The COM port of one simulated tracker: a pseudo-terminal whose slave path the loader
// opens as its port. The simulator reads and writes the master. It also keeps a slave
// descriptor of its own open (and never reads it), so that the line stays usable while
// the loader has closed the port: without any slave open the master reports EIO.

#include <QString>

namespace ql::sim {

class TPseudoTerminal {
public:
    TPseudoTerminal() = default;
    ~TPseudoTerminal();
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    // A raw 8N1 line, master non-blocking.
    bool Open();
    int MasterFd() const { return Master; }
    QString SlavePath() const { return Path; }

private:
    int Master = -1;
    int Slave = -1;
    QString Path;
};

}  // namespace ql::sim
