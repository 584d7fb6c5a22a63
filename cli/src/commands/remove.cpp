#include "commands/commands.h"
#include "config/config_operations.h"
#include "text/text.h"

namespace corvel {

namespace {

// An answer is read no further than this; one that reaches it is no "y". Reading stops there, so
// an endless input cannot make the prompt wait or grow without end.
constexpr std::size_t k_answer_limit = 4096;

// Only a lone "y" or "Y" (white space around it aside) confirms; "yes" does not.
bool confirms(std::string_view answer) {
    std::string_view trimmed = trim_whitespace(answer);
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
        if (answer->size() >= k_answer_limit || !confirms(*answer)) {
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
