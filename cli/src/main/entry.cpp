#include "main/entry.h"

#include "console/terminal.h"
#include "main/dispatcher.h"
#include "main/grammar.h"

namespace corvel {

namespace {

// export-shell's standard output is a script that the shell runs (`| Invoke-Expression`, a .cmd
// file), so the start-up warning goes to standard error there. The parser has not run yet: the
// first argument that is not an option names the subcommand.
bool output_is_a_script(std::span<const std::string> arguments) {
    for (const std::string& argument : arguments) {
        if (!argument.starts_with('-')) {
            return argument == "export-shell";
        }
    }
    return false;
}

}  // namespace

int run_entry(Platform& platform, std::span<const std::string> arguments) {
    platform.console.enable_virtual_terminal();
    Terminal terminal(platform.console, platform.environment);

    if (!platform.environment.is_elevated()) {
        void (Terminal::*print)(std::initializer_list<Cell>) =
            output_is_a_script(arguments) ? &Terminal::print_error_line : &Terminal::print_line;
        (terminal.*print)({yellow(k_warning_sign).bold(),
                           plain(" Not running as Administrator \u2014 system-wide (HKLM) "
                                 "JAVA_HOME/PATH updates will be skipped.")});
        (terminal.*print)({plain("  User environment (HKCU) updates will still work.")});
        (terminal.*print)({});
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
