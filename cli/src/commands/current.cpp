#include "commands/commands.h"

namespace corvel {

CommandResult run_current(CommandContext&) {
    return std::unexpected(CommandError{"current is not available yet"});
}

}  // namespace corvel
