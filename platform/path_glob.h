#pragma once
// The ports that exist now, match a shell pattern and that the port listing cannot know: a
// pseudo-terminal, a link to a port in a folder of the user's own.
//
// Principles of operation: POSIX expands the pattern with glob(3), as a shell would, in order;
// a pattern without wildcards yields itself only when it exists. A path that leads to a node
// directly in /dev is left out: the listing says which of those have a device behind them.
// Windows has no such paths for ports (COM ports are names, not files) and yields none.

#include <string>
#include <vector>

namespace velmar::platform {

std::vector<std::string> PortPathsMatching(const std::string& pattern);

}  // namespace velmar::platform
