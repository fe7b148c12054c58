#pragma once
// The program entry of the loader: the single-instance lock, the application object, the
// main window and its message loop, the exit status.

namespace ql {

// Returns the process result: -1 when another loader holds the lock (nothing is shown),
// after a close by hand, after the driver check or an error; 1 after the automatic close
// that followed a successful write. The caller returns it from main (-1 is status 255).
int RunLoader(int argc, char** argv);

}  // namespace ql
