#pragma once

#include <optional>

// The options that need no window: they are handled before the application object exists,
// so that --help works without a display and nothing touches log.txt.
namespace CommandLine {

// The exit status when the program ends here; nothing when the window should open. Sets
// TAVREL_PORT1 and TAVREL_PORT2 for --port1 and --port2, startCapture for --start, and leaves
// Qt's own options alone.
std::optional<int> handle(int argc, char **argv, bool &startCapture);

} // namespace CommandLine
