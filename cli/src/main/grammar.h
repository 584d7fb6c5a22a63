#pragma once

#include <optional>
#include <span>
#include <string>

#include "main/cli_command.h"
#include "platform/console.h"

namespace corvel {

// The command line's meaning: a command to run, or the exit status after the parser printed
// help, the version or a usage error itself.
struct ParseOutcome {
    std::optional<CliCommand> command;
    int exit_status = 0;
};

// Parses the arguments after the program name against corvel's grammar. Help and version go to
// standard output (status 0); no arguments print the help to standard error (status 2); every
// usage error prints the parser's message with the usage line to standard error (status 2).
ParseOutcome parse_command_line(std::span<const std::string> arguments, Console& console);

}  // namespace corvel
