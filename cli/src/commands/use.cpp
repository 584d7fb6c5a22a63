#include "commands/commands.h"

namespace corvel {

CommandResult run_use(CommandContext&, std::string_view) {
    return std::unexpected(CommandError{"use is not available yet"});
}

}  // namespace corvel
