#pragma once
// The run options the command line gives, held by the main window. Everything starts
// false or empty; only the command-line parser writes them, except externFirmware, which
// afterwards follows the "extern firmware" check box.

#include <QString>

namespace ql {

struct LoaderOptions {
    // Firmware comes from the file in the file field instead of the built-in image; set
    // by "externfirmware" and implied by a firmware file on the command line.
    bool externFirmware = false;
    // A firmware file was named on the command line: the file controls stay hidden.
    bool fileOnCommandLine = false;
    // The firmware/device compatibility check is skipped and counts as passed.
    bool dontCheckCpbl = false;
    // Ticks "write automatically" for this run only; the settings keep the saved state.
    bool autoWrite = false;
    // Tick their boxes at start; the ticks are saved like a user's.
    bool disableFtdi = false;
    bool startApp = false;
    // Close with exit code 1 after a successful write.
    bool autoClose = false;
    // Ticks "start loader" for this run; that box is never saved.
    bool useStartLoader = false;
    // Seven decimal digits: discovery over the maker's library keeps only this device.
    QString serial;
    // The firmware file argument exactly as typed (for the file field), or empty.
    QString fwFile;
    // Every log line also goes to standard output.
    bool console = false;
    // Every log line, progress step, panel status and device found or gone also as one JSON
    // object a line on standard output, and a summary at the end; takes standard output
    // from "console".
    bool json = false;
    // COM-port mode for this run with this port (letter case as typed); empty: off.
    QString comportName;
};

}  // namespace ql
