#pragma once

#include "commands/commands.h"
#include "main/cli_command.h"

namespace corvel {

// Calls the one handler for `command` and returns its result.
CommandResult run_command(const CliCommand& command, CommandContext& context);

}  // namespace corvel
