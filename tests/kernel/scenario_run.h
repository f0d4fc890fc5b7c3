#pragma once
// One scenario row, run in the shared guest under GoogleTest's expectations.
//
// Principles of operation: the row's printer starts on the line its port leads to, on the
// master the test holds (--line-fd), once what the tool sent after the last row's printer had
// gone is read away; QEMU's trace is marked; the loader starts in the guest; at the printer's
// mark of the row's block the row's moment is acted out; the loader's end (exit status, its
// JSON printer_end, standard error) is held against the row, and what follows is run. Then the
// printer must end having complained of nothing (a wrong rate on the tool's side included),
// with the file's image when the last load succeeded, and the trace must end with the row's
// exact device rate. Stray loaders are killed and the adapter plugged back whatever happened,
// so that the next row finds the guest as the boot left it. Times worth reporting (the loss of
// the port to the load's end, a signal to the end, the row) are printed as "[ measured ]".

#include "tests/kernel/kernel_guest.h"
#include "tests/kernel/scenario.h"

namespace velmar::test {

void RunScenario(KernelGuest& guest, const Scenario& scenario);

}  // namespace velmar::test
