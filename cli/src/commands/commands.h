#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "config/core_error.h"
#include "console/terminal.h"
#include "main/cli_command.h"
#include "platform/platform.h"

namespace corvel {

using CommandResult = std::expected<void, CommandError>;

// What every command handler works with: the platform seams and the terminal it prints to.
struct CommandContext {
    Platform& platform;
    Terminal& terminal;
};

// A core failure as a command failure carrying the error's rendered text.
inline CommandError to_command_error(const CoreError& error) {
    return CommandError{error.to_text()};
}

// The registered JDKs as an aligned table, or the empty-list hint.
CommandResult run_list(CommandContext& context);
// The configured alias, the user JAVA_HOME, the java on PATH and its banner.
CommandResult run_current(CommandContext& context);
// Validates, probes and registers a JDK folder under `alias`.
CommandResult run_add(CommandContext& context, std::string_view alias, std::string_view path);
// Unregisters `alias`, after a y/N prompt unless `force`.
CommandResult run_remove(CommandContext& context, std::string_view alias, bool force);
// Activates the registered JDK `alias` in the user and system environment.
CommandResult run_use(CommandContext& context, std::string_view alias);
// Lists the JDKs found on the machine; registers the new ones with `auto_add`.
CommandResult run_scan(CommandContext& context, bool auto_add);
// Prints the diagnostics report; always succeeds.
CommandResult run_doctor(CommandContext& context);
// Prints the commands that activate `alias` in the current PowerShell or CMD session.
CommandResult run_export_shell(CommandContext& context, std::string_view alias,
                               std::string_view shell);

}  // namespace corvel
