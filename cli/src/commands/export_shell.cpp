#include <array>
#include <string>
#include <string_view>

#include "commands/commands.h"
#include "config/config.h"
#include "config/config_operations.h"
#include "environment/activation.h"
#include "text/path_text.h"
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

// A PowerShell string expression for `text` in printable ASCII: Windows PowerShell decodes a
// native program's output with the console's code page, so any other character would arrive
// mangled, and a control would end the line or reach the terminal. Printable ASCII runs go in
// single quotes (a quote doubled); every other UTF-16 unit becomes a [char]0xXXXX term. The
// expression always starts with a quoted string, so `+` joins strings rather than adding up char
// codes.
std::string powershell_expression(std::string_view text) {
    static constexpr char k_hex[] = "0123456789ABCDEF";
    std::string expression = "'";
    bool in_quotes = true;
    for (char16_t unit : to_utf16(text)) {
        if (unit >= 0x20 && unit < 0x7F) {
            if (!in_quotes) {
                expression += " + '";
                in_quotes = true;
            }
            if (unit == u'\'') {
                expression += '\'';
            }
            expression += static_cast<char>(unit);
            continue;
        }
        if (in_quotes) {
            expression += '\'';
            in_quotes = false;
        }
        expression += " + [char]0x";
        for (int shift = 12; shift >= 0; shift -= 4) {
            expression += k_hex[(unit >> shift) & 0xF];
        }
    }
    if (in_quotes) {
        expression += '\'';
    }
    return expression;
}

// cmd has no way to write a character other than as it is. A double quote or a line break inside
// a value would turn the rest of the line into commands, and the other controls, the
// bidirectional formatting characters and U+2028/U+2029 never reach the output as they are (the
// terminal shows them as U+FFFD), so the line would name another folder.
bool cmd_can_set(std::string_view path) {
    for (char c : path) {
        if (c == '"' || static_cast<unsigned char>(c) < 0x20) {
            return false;
        }
    }
    return !has_display_control_character(path);
}

// The three CMD lines. JAVA_HOME gets the plain `SET NAME=value` form unless the path holds one
// of cmd's operators, which are plain text only inside the quoted `SET "NAME=value"` form;
// parentheses are plain text at the prompt and at the top of a batch file, where these lines
// run. PATH always gets the quoted form: the %PATH% it expands may hold an operator of its own
// (an entry such as C:\Tools & Stuff), which would otherwise cut PATH short and run the rest.
std::array<std::string, 3> cmd_lines(std::string_view root) {
    bool has_operator = root.find_first_of("&|<>^") != std::string_view::npos;
    std::string home = has_operator ? "SET \"JAVA_HOME=" + std::string(root) + "\""
                                    : "SET JAVA_HOME=" + std::string(root);
    return {":: Run these commands in your current CMD session:", std::move(home),
            "SET \"PATH=" + jdk_bin_folder(root) + ";%PATH%\""};
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
    if (auto activatable = check_activatable_root(root); !activatable) {
        return std::unexpected(to_command_error(activatable.error()));
    }
    if (*family == ShellFamily::PowerShell) {
        context.terminal.print_line(
            {plain("# Run these commands in your current PowerShell session:")});
        context.terminal.print_line({plain("$env:JAVA_HOME = " + powershell_expression(root))});
        context.terminal.print_line({plain(
            "$env:PATH = " + powershell_expression(jdk_bin_folder(root) + ";") + " + $env:PATH")});
    } else {
        if (!cmd_can_set(root)) {
            return std::unexpected(CommandError{
                "The path of alias '" + std::string(alias) +
                "' holds a double quote, a control character, a bidirectional formatting "
                "character or a line separator, which a CMD line cannot hold; open a new "
                "terminal after '" +
                alias_command("corvel use", alias) + "' instead"});
        }
        for (const std::string& line : cmd_lines(root)) {
            context.terminal.print_line({plain(line)});
        }
    }
    context.terminal.flush();
    return {};
}

}  // namespace corvel
