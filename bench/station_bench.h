#pragma once
// A station of many slots on pseudo-terminals: how soon a printer connected to it is woken, and
// what the loader costs while its slots wait.
//
// Principles of operation: each half is one velmar-load --station run on a folder of the
// bench's own, into which lines are linked one at a time, the next once the last was woken.
// The wake-up is timed from the moment the line's link exists. With the emulator
// (velmar-printer --link), that moment is the bench's own inotify event for the link, and the
// wake-up is the printer_start time of the loader's --json stream, which is taken once the
// port is open and the line quiet, just before the wake-up is written (millisecond stamps).
// With a pseudo-terminal of the bench's own, the link is made by the bench and the wake-up is
// the first byte read on its master: the moment the printer would have it. The loader's CPU
// while idle is utime+stime from /proc/PID/stat over a window once every slot is done (its
// printer loaded and still attached) and while every slot wakes a line where nobody answers.

namespace velmar::bench {

// Prints the two tables; false when a load failed, a line was never woken or the loader could
// not be found. `quick` runs four slots and a shorter window.
bool RunStationRows(bool quick);

}  // namespace velmar::bench
