#include "commands/commands.h"

namespace corvel {

CommandResult run_doctor(CommandContext&) {
    return std::unexpected(CommandError{"doctor is not available yet"});
}

}  // namespace corvel
