#include "main/entry.h"

#include <cstdint>

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

// A pipe whose reader has gone: the reader wanted no more, so there is nobody to tell. Windows
// reports it as one of these, Wine as "pipe not connected".
bool reader_is_gone(const IoError& failure) {
    constexpr std::int32_t k_error_broken_pipe = 109;
    constexpr std::int32_t k_error_no_data = 232;
    constexpr std::int32_t k_error_pipe_not_connected = 233;
    return failure.code == k_error_broken_pipe || failure.code == k_error_no_data ||
           failure.code == k_error_pipe_not_connected;
}

// The exit status of a run that ended with `status`, once everything is written. Output that
// could not all be written (a full disk, a closed pipe) means the run did not do what it was
// asked: status 1, with one line on standard error naming the cause unless an error line is
// there already.
int finish(Platform& platform, Terminal& terminal, int status, bool error_printed) {
    terminal.flush();
    platform.console.flush(StandardStream::Error);
    auto output_failure = platform.console.write_failure(StandardStream::Output);
    if (output_failure && !error_printed && !reader_is_gone(*output_failure)) {
        terminal.print_error_line(
            {red("Error:").bold(),
             plain(" Cannot write to standard output: " + output_failure->to_text())});
    }
    if ((output_failure || platform.console.write_failure(StandardStream::Error)) && status == 0) {
        return 1;
    }
    return status;
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
        // A usage error has put its own error text on standard error already.
        bool usage_error = parsed.exit_status != 0;
        return finish(platform, terminal, parsed.exit_status, usage_error);
    }

    CommandContext context{platform, terminal};
    CommandResult result = run_command(*parsed.command, context);
    terminal.flush();
    if (!result) {
        terminal.print_error_line({red("Error:").bold(), plain(" " + result.error().message)});
        return finish(platform, terminal, 1, true);
    }
    return finish(platform, terminal, 0, false);
}

}  // namespace corvel
