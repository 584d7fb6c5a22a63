#include "commands/commands.h"

namespace corvel {

CommandResult run_add(CommandContext&, std::string_view, std::string_view) {
    return std::unexpected(CommandError{"add is not available yet"});
}

}  // namespace corvel
