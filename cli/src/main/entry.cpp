#include "main/entry.h"

#include "console/terminal.h"
#include "main/dispatcher.h"
#include "main/grammar.h"

namespace corvel {

int run_entry(Platform& platform, std::span<const std::string> arguments) {
    platform.console.enable_virtual_terminal();
    Terminal terminal(platform.console, platform.environment);

    if (!platform.environment.is_elevated()) {
        terminal.print_line({yellow(k_warning_sign).bold(),
                             plain(" Not running as Administrator \u2014 system-wide (HKLM) "
                                   "JAVA_HOME/PATH updates will be skipped.")});
        terminal.print_line({plain("  User environment (HKCU) updates will still work.")});
        terminal.print_line();
        terminal.flush();
    }

    ParseOutcome parsed = parse_command_line(arguments, platform.console);
    if (!parsed.command) {
        terminal.flush();
        platform.console.flush(StandardStream::Error);
        return parsed.exit_status;
    }

    CommandContext context{platform, terminal};
    CommandResult result = run_command(*parsed.command, context);
    terminal.flush();
    if (!result) {
        terminal.print_error_line({red("Error:").bold(), plain(" " + result.error().message)});
        return 1;
    }
    return 0;
}

}  // namespace corvel
