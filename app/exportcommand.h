#pragma once

#include <optional>

// tavrel --export-csv LOG OUT and --export-bin LOG OUT: the log written for other tools, with
// no window and no display.
namespace ExportCommand {

// The exit status when the arguments ask for an export (2 when they ask for it wrongly, after
// printing the usage); nothing when they do not.
std::optional<int> handle(int argc, char **argv, const char *usage);

} // namespace ExportCommand
