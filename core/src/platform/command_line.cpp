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

bool is_blank(char c) {
    return c == ' ' || c == '\t';
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

std::vector<std::string> parse_command_line_msvc(std::string_view command_line) {
    std::vector<std::string> argv;
    std::size_t i = 0;
    const std::size_t n = command_line.size();

    // The program name: quotes toggle, backslashes are ordinary characters.
    std::string program;
    bool in_quotes = false;
    while (i < n) {
        char c = command_line[i];
        if (c == '"') {
            in_quotes = !in_quotes;
            ++i;
            continue;
        }
        if (!in_quotes && is_blank(c)) {
            break;
        }
        program += c;
        ++i;
    }
    argv.push_back(std::move(program));

    while (true) {
        while (i < n && is_blank(command_line[i])) {
            ++i;
        }
        if (i >= n) {
            break;
        }
        std::string argument;
        in_quotes = false;
        while (true) {
            std::size_t backslashes = 0;
            while (i < n && command_line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            bool copy = true;
            if (i < n && command_line[i] == '"') {
                if (backslashes % 2 == 0) {
                    if (in_quotes && i + 1 < n && command_line[i + 1] == '"') {
                        ++i;  // "" inside quotes is one literal quote
                    } else {
                        copy = false;
                        in_quotes = !in_quotes;
                    }
                }
                backslashes /= 2;
            }
            argument.append(backslashes, '\\');
            if (i >= n || (!in_quotes && is_blank(command_line[i]))) {
                break;
            }
            if (copy) {
                argument += command_line[i];
            }
            ++i;
        }
        argv.push_back(std::move(argument));
    }
    return argv;
}

}  // namespace corvel
