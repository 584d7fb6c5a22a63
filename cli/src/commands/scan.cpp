#include "commands/commands.h"

namespace corvel {

CommandResult run_scan(CommandContext&, bool) {
    return std::unexpected(CommandError{"scan is not available yet"});
}

}  // namespace corvel
