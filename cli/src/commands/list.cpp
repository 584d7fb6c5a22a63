#include "commands/commands.h"

namespace corvel {

CommandResult run_list(CommandContext&) {
    return std::unexpected(CommandError{"list is not available yet"});
}

}  // namespace corvel
