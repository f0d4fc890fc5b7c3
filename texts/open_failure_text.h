#pragma once
// What the user is told when a port (or a TCP connection) did not open: text 103, then the
// port's name and why, on a line of its own, in our words followed by the system's, then a hint
// where one helps: the group that grants access, or the rates to choose from when the port
// refused a rate outside the window's list.
//
// Principles of operation: the reason's words are chosen by a table from the failure's kind;
// whether a group grants access to ports is the platform's to say, so the same code gives the
// dialout hint on Linux and none on Windows. A failure of no known kind gives text 103 alone.

#include <string>

#include "transport/open_failure.h"

namespace velmar::texts {

std::string OpenFailureText(const transport::OpenFailure& failure);

}  // namespace velmar::texts
