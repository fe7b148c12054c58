#pragma once
// The outcome codes of a write session, reported once when the session ends.

namespace ql {

inline constexpr int kWriteOk = 0;
inline constexpr int kErrImageLoad = 1;        // the firmware could not be loaded
inline constexpr int kErrNoFirstSector = 2;    // no first sector, or it lies above the last
inline constexpr int kErrBlockOutsideMap = 3;  // a block does not fit below the map's end
inline constexpr int kErrNothingToWrite = 4;   // every sector from the first on is empty
inline constexpr int kErrErase = 5;
inline constexpr int kErrWrite = 6;
inline constexpr int kErrNotCompatible = 9;
// Two endings of our own, outside the numbers above so that the end report shows them as
// failures with their code: the device's link could not be opened, and the session was
// asked to stop (device gone, window closing).
inline constexpr int kErrLinkOpen = 10;
inline constexpr int kErrStopped = 11;

}  // namespace ql
