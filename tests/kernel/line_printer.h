#pragma once
// A velmar-printer on a line whose master the test holds for the whole boot.

#include <string>
#include <vector>

#include "tests/integration/child_process.h"
#include "tests/support/pty_pair.h"

namespace velmar::test {

// Starts the printer on `line` (--line-fd, --marks, then `options`) once what the tool sent
// while no printer was there is read away; false, with a failure added, when it did not start.
bool StartLinePrinter(PtyPair& line, const std::vector<std::string>& options,
                      ChildProcess* printer);

}  // namespace velmar::test
