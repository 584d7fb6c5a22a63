#include <array>
#include <string>
#include <string_view>

#include "commands/commands.h"
#include "config/config.h"
#include "text/text.h"

namespace corvel {

namespace {

enum class ShellFamily { PowerShell, Cmd };

std::optional<ShellFamily> shell_family(std::string_view shell) {
    std::string name = to_lower(shell);
    if (name == "powershell" || name == "ps" || name == "ps1") {
        return ShellFamily::PowerShell;
    }
    if (name == "cmd" || name == "bat") {
        return ShellFamily::Cmd;
    }
    return std::nullopt;
}

// PowerShell ends a single-quoted string at any of its four single quotation marks (the ASCII
// one and U+2018, U+2019, U+201A, U+201B); doubling one keeps it as text.
std::string powershell_quoted_content(std::string_view text) {
    static constexpr std::array<std::string_view, 4> k_typographic = {"\u2018", "\u2019", "\u201A",
                                                                      "\u201B"};
    std::string quoted;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == '\'') {
            quoted += "''";
            ++pos;
            continue;
        }
        bool doubled = false;
        for (std::string_view mark : k_typographic) {
            if (text.substr(pos).starts_with(mark)) {
                quoted += mark;
                quoted += mark;
                pos += mark.size();
                doubled = true;
                break;
            }
        }
        if (!doubled) {
            quoted += text[pos];
            ++pos;
        }
    }
    return quoted;
}

bool is_cmd_special(char c) {
    return std::string_view("&|<>^()%\"").find(c) != std::string_view::npos;
}

// cmd cannot be given a double quote or a line break inside a value without the rest of the
// line turning into commands; no Windows folder name holds either.
bool cmd_can_set(std::string_view path) {
    for (char c : path) {
        if (c == '"' || static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return true;
}

// The path for an unquoted SET typed at the prompt: the operators carry a caret, and every
// percent sign is followed by one, so that no %name% in it can name a variable (cmd leaves
// unknown names alone at the prompt) and the caret itself is dropped afterwards, escaping the
// character after it. A final percent sign needs no caret (a caret would continue the line).
std::string cmd_escaped(std::string_view path) {
    std::string escaped;
    bool caret_pending = false;  // the previous percent sign's caret escapes this character
    for (std::size_t i = 0; i < path.size(); ++i) {
        char c = path[i];
        if (c == '%') {
            escaped += '%';
            if (i + 1 < path.size()) {
                escaped += '^';
                caret_pending = true;
            }
            continue;
        }
        if (is_cmd_special(c) && !caret_pending) {
            escaped += '^';
        }
        escaped += c;
        caret_pending = false;
    }
    return escaped;
}

// The three CMD lines. Ordinary paths get the plain `SET NAME=value` form. A path holding one of
// cmd's operators gets the quoted `SET "NAME=value"` form, in which they are plain text. A
// percent sign cannot be protected inside quotes at the prompt, so such a path is set unquoted
// with carets, and PATH is then built from the JAVA_HOME just set (cmd does not expand a
// variable's value a second time).
std::array<std::string, 3> cmd_lines(std::string_view root) {
    std::string_view trimmed = root;
    while (trimmed.ends_with('\\')) {
        trimmed.remove_suffix(1);
    }
    std::string bin = std::string(trimmed) + "\\bin";
    std::string header = ":: Run these commands in your current CMD session:";
    bool special = false;
    for (char c : root) {
        special = special || is_cmd_special(c);
    }
    if (!special) {
        return {header, "SET JAVA_HOME=" + std::string(root), "SET PATH=" + bin + ";%PATH%"};
    }
    if (root.find('%') == std::string_view::npos) {
        return {header, "SET \"JAVA_HOME=" + std::string(root) + "\"",
                "SET \"PATH=" + bin + ";%PATH%\""};
    }
    std::size_t separators = root.size() - trimmed.size();
    std::string home_bin = "%JAVA_HOME%\\bin";
    if (separators == 1) {
        home_bin = "%JAVA_HOME%bin";
    } else if (separators > 1) {
        home_bin = "%JAVA_HOME:~0,-" + std::to_string(separators - 1) + "%bin";
    }
    return {header, "SET JAVA_HOME=" + cmd_escaped(root), "SET \"PATH=" + home_bin + ";%PATH%\""};
}

}  // namespace

CommandResult run_export_shell(CommandContext& context, std::string_view alias,
                               std::string_view shell) {
    auto config = load_config(context.platform);
    if (!config) {
        return std::unexpected(to_command_error(config.error()));
    }
    auto found = config->versions.find(std::string(alias));
    if (found == config->versions.end()) {
        return std::unexpected(CommandError{"Alias '" + std::string(alias) + "' not found"});
    }
    std::optional<ShellFamily> family = shell_family(shell);
    if (!family) {
        return std::unexpected(
            CommandError{"Unknown shell '" + std::string(shell) + "'. Use 'powershell' or 'cmd'."});
    }
    const std::string& root = found->second.path;
    if (*family == ShellFamily::PowerShell) {
        std::string_view trimmed = root;
        while (trimmed.ends_with('\\')) {
            trimmed.remove_suffix(1);
        }
        std::string bin = std::string(trimmed) + "\\bin";
        context.terminal.print_line(
            {plain("# Run these commands in your current PowerShell session:")});
        context.terminal.print_line(
            {plain("$env:JAVA_HOME = '" + powershell_quoted_content(root) + "'")});
        context.terminal.print_line(
            {plain("$env:PATH = '" + powershell_quoted_content(bin) + ";' + $env:PATH")});
    } else {
        if (!cmd_can_set(root)) {
            return std::unexpected(CommandError{
                "The path of alias '" + std::string(alias) +
                "' holds a double quote or a control character, which CMD cannot set safely"});
        }
        for (const std::string& line : cmd_lines(root)) {
            context.terminal.print_line({plain(line)});
        }
    }
    context.terminal.flush();
    return {};
}

}  // namespace corvel
