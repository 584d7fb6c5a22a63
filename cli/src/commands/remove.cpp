#include "commands/commands.h"
#include "config/config_operations.h"
#include "text/text.h"

namespace corvel {

namespace {

// An answer of more characters than this before its line end is no "y". Reading stops soon after,
// so an endless input cannot make the prompt wait or grow without end.
constexpr std::size_t k_answer_limit = 4096;

// Only a lone "y" or "Y" (white space around it aside) confirms; "yes" does not. An answer of
// more than k_answer_limit characters before its line end was cut short and is no answer.
bool confirms(std::string_view answer) {
    std::string_view line = answer;
    if (line.ends_with('\n')) {
        line.remove_suffix(line.ends_with("\r\n") ? 2 : 1);
    }
    if (count_characters(line) > k_answer_limit) {
        return false;
    }
    std::string_view trimmed = trim_whitespace(line);
    return trimmed == "y" || trimmed == "Y";
}

}  // namespace

CommandResult run_remove(CommandContext& context, std::string_view alias, bool force) {
    Terminal& terminal = context.terminal;

    if (!force) {
        // print() flushes, so the question is visible before the read blocks.
        terminal.print({plain("Remove alias '"), cyan(alias), plain("'? [y/N] ")});
        auto answer = context.platform.console.read_line(k_answer_limit);
        if (!answer) {
            return std::unexpected(CommandError{answer.error()});
        }
        if (!confirms(*answer)) {
            terminal.print_line({plain("Cancelled.")});
            return {};
        }
    }

    if (auto removed = remove_version(context.platform, alias); !removed) {
        return std::unexpected(to_command_error(removed.error()));
    }
    terminal.print_line(
        {green(k_check_mark).bold(), plain(" Removed alias '"), cyan(alias), plain("'.")});
    return {};
}

}  // namespace corvel
