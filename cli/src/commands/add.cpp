#include <string>

#include "commands/commands.h"
#include "config/config_operations.h"
#include "environment/activation.h"
#include "java/jdk_validation.h"
#include "java/probe.h"

namespace corvel {

CommandResult run_add(CommandContext& context, std::string_view alias, std::string_view path) {
    Terminal& terminal = context.terminal;

    terminal.print({plain("Validating path... ")});
    if (auto valid = validate_jdk_path(context.platform, path); !valid) {
        return std::unexpected(to_command_error(valid.error()));
    }
    // What use would refuse is never stored.
    if (auto activatable = check_registrable_root(path); !activatable) {
        return std::unexpected(to_command_error(activatable.error()));
    }
    terminal.print_line({green("OK")});

    terminal.print({plain("Probing JDK metadata... ")});
    JdkEntry entry = probe_jdk(context.platform, path);
    // The vendor comes first here, unlike the list columns.
    terminal.print_line({green("Done"), plain(" ("), plain(entry.vendor.value_or("unknown")),
                         plain(" "), plain(entry.detected_version.value_or("unknown")),
                         plain(")")});

    // Shown before the transaction, which may wait for another corvel process to finish.
    terminal.flush();
    // The duplicate check comes only now: the config is loaded afresh by the transaction.
    if (auto added = add_version(context.platform, alias, entry); !added) {
        return std::unexpected(to_command_error(added.error()));
    }

    terminal.print_line();
    // The path as typed, not the stored one without trailing separators.
    terminal.print_line({green(k_check_mark).bold(), plain(" Added alias '"), cyan(alias),
                         plain("' "), plain(k_arrow), plain(" "), dimmed(path)});
    terminal.print_line({plain("Run "), command_hint(alias_command("corvel use", alias)),
                         plain(" to activate it.")});
    return {};
}

}  // namespace corvel
