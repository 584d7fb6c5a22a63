#include "platform/command_line.h"

namespace corvel {

namespace {

bool needs_quotes(std::string_view argument) {
    return argument.empty() || argument.find_first_of(" \t\n\v\"") != std::string_view::npos;
}

void append_argument(std::string& line, std::string_view argument) {
    if (!needs_quotes(argument)) {
        line += argument;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Backslashes before a quote are escapes: double them, then escape the quote.
            line.append(backslashes * 2 + 1, '\\');
        } else {
            line.append(backslashes, '\\');
        }
        backslashes = 0;
        line += c;
    }
    // Backslashes before the closing quote would escape it: double them.
    line.append(backslashes * 2, '\\');
    line += '"';
}

}  // namespace

std::string build_command_line(std::string_view program, std::span<const std::string> arguments) {
    std::string line;
    line += '"';
    line += program;
    line += '"';
    for (const std::string& argument : arguments) {
        line += ' ';
        append_argument(line, argument);
    }
    return line;
}

}  // namespace corvel
