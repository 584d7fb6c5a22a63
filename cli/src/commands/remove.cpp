#include "commands/commands.h"

namespace corvel {

CommandResult run_remove(CommandContext&, std::string_view, bool) {
    return std::unexpected(CommandError{"remove is not available yet"});
}

}  // namespace corvel
