#include "commands/commands.h"
#include "config/config.h"
#include "config/config_operations.h"
#include "environment/activation.h"

namespace corvel {

CommandResult run_use(CommandContext& context, std::string_view alias) {
    Terminal& terminal = context.terminal;

    // Flushed at once, so it is visible while the registry is written.
    terminal.print({plain("Switching to '"), cyan(alias), plain("'... ")});
    auto switched = use_version(context.platform, alias);
    if (!switched) {
        return std::unexpected(to_command_error(switched.error()));
    }
    terminal.print_line({green("Done")});

    auto config = load_config(context.platform);
    if (!config) {
        return std::unexpected(to_command_error(config.error()));
    }
    if (auto entry = config->versions.find(std::string(alias)); entry != config->versions.end()) {
        terminal.print_line();
        terminal.print_line(
            {green(k_check_mark).bold(), plain(" Active version : "), green(alias).bold()});
        terminal.print_line({plain("  JAVA_HOME      : "), cyan(entry->second.path)});
        if (entry->second.detected_version) {
            terminal.print_line(
                {plain("  Java version   : "), cyan(*entry->second.detected_version)});
        }
    }

    terminal.print_line();
    terminal.print_line(
        {blue(k_information), plain(" PATH and JAVA_HOME updated in user environment (HKCU).")});
    if (const std::optional<std::string>& warning = *switched; warning) {
        terminal.print_line({yellow(k_warning_sign),
                             plain(" System environment (HKLM) not updated: "), dimmed(*warning)});
        terminal.print_line({plain("  Run as Administrator to also apply changes system-wide.")});
    } else {
        terminal.print_line({green(k_check_mark),
                             plain(" System environment (HKLM) updated \u2014 all users and new "
                                   "processes will see the change.")});
    }
    terminal.print_line({yellow(k_warning_sign), plain(" Open a "), plain("new").bold(),
                         plain(" terminal for the changes to take effect in shells.")});
    terminal.print_line({plain("  Or run "),
                         command_hint(alias_command("corvel export-shell", alias)),
                         plain(" to apply in the current session.")});
    return {};
}

}  // namespace corvel
