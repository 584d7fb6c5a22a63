#include <string>

#include "commands/commands.h"
#include "environment/status.h"
#include "text/text.h"

namespace corvel {

CommandResult run_current(CommandContext& context) {
    CoreResult<EnvironmentStatus> gathered = current_status(context.platform);
    if (!gathered) {
        return std::unexpected(to_command_error(gathered.error()));
    }
    Terminal& terminal = context.terminal;
    const EnvironmentStatus& status = *gathered;
    terminal.print_header("Current Java Status");

    terminal.print_line({plain("  Config alias   : "), status.config_current
                                                           ? green(*status.config_current).bold()
                                                           : dimmed("not set")});

    if (!status.java_home) {
        terminal.print_line({plain("  JAVA_HOME      : "), red("not set")});
    } else {
        terminal.print_line({plain("  JAVA_HOME      : "), cyan(*status.java_home),
                             status.java_home_valid ? plain("") : red(" [invalid]")});
    }

    if (!status.java_in_path) {
        terminal.print_line({plain("  java in PATH   : "), yellow("not found"),
                             plain(" (open a new terminal to pick up changes)")});
    } else {
        terminal.print_line({plain("  java in PATH   : "), cyan(*status.java_in_path)});
    }

    if (status.version_output) {
        terminal.print_line();
        terminal.print_line({plain("  java -version output:")});
        for (std::string_view line : split_lines(*status.version_output)) {
            terminal.print_line({plain("    "), dimmed(line)});
        }
    }
    return {};
}

}  // namespace corvel
