#include "commands/commands.h"

namespace corvel {

CommandResult run_export_shell(CommandContext&, std::string_view, std::string_view) {
    return std::unexpected(CommandError{"export-shell is not available yet"});
}

}  // namespace corvel
