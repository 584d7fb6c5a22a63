#include <algorithm>
#include <cstddef>
#include <string>

#include "commands/commands.h"
#include "config/config.h"
#include "doctor/diagnostics.h"

namespace corvel {

namespace {

constexpr std::size_t k_min_name_width = 20;

// Measured in bytes, as the report has always done; the padding itself counts characters.
std::size_t name_column_width(const std::vector<DiagnosticResult>& results) {
    std::size_t widest = 0;
    for (const DiagnosticResult& result : results) {
        widest = std::max(widest, result.name.size());
    }
    return column_width(k_min_name_width, widest);
}

TextColor color_of(CheckStatus status) {
    switch (status) {
        case CheckStatus::Ok:
            return TextColor::Green;
        case CheckStatus::Warning:
            return TextColor::Yellow;
        case CheckStatus::Error:
            break;
    }
    return TextColor::Red;
}

std::string_view symbol_of(CheckStatus status) {
    switch (status) {
        case CheckStatus::Ok:
            return k_check_mark;
        case CheckStatus::Warning:
            return k_warning_sign;
        case CheckStatus::Error:
            break;
    }
    return k_ballot_x;
}

}  // namespace

CommandResult run_doctor(CommandContext& context) {
    Terminal& terminal = context.terminal;
    terminal.print_header("Diagnostics Report");

    std::vector<DiagnosticResult> results = run_diagnostics(context.platform);
    std::size_t width = name_column_width(results);
    // The arrow stands where the messages begin: symbol and two spaces, the names, two spaces.
    std::string hint_indent(3 + width + 2, ' ');
    for (const DiagnosticResult& result : results) {
        TextColor color = color_of(result.status);
        terminal.print_line({colored(symbol_of(result.status), color).bold(), plain("  "),
                             Cell{colored(result.name, color), width}, plain("  "),
                             dimmed(result.message)});
        if (result.hint) {
            terminal.print_line({plain(hint_indent), plain(k_hint_arrow), plain(" "),
                                 plain(*result.hint).italic()});
        }
    }

    auto count = [&results](CheckStatus status) {
        return std::ranges::count(results, status, &DiagnosticResult::status);
    };
    auto errors = count(CheckStatus::Error);
    terminal.print_line();
    terminal.print_line({plain("Summary: "), green(std::to_string(count(CheckStatus::Ok))).bold(),
                         plain(" OK  "), yellow(std::to_string(count(CheckStatus::Warning))).bold(),
                         plain(" warning(s)  "), red(std::to_string(errors)).bold(),
                         plain(" error(s)")});

    if (errors > 0) {
        terminal.print_line();
        // A path that cannot be found leaves the label on its own.
        CoreResult<std::string> location = config_path(context.platform);
        terminal.print_line(
            {plain("Config file location: "), location ? dimmed(*location) : plain("")});
    }
    return {};
}

}  // namespace corvel
