#include <set>
#include <string>

#include "commands/commands.h"
#include "config/config.h"
#include "config/config_operations.h"
#include "discovery/discovery.h"
#include "environment/activation.h"
#include "java/probe.h"

namespace corvel {

namespace {

// Registers the JDK found at `path` under `alias`, unless use could never activate it there.
CoreResult<Config> add_found(const Platform& platform, const std::string& alias,
                             std::string_view path) {
    if (auto activatable = check_registrable_root(path); !activatable) {
        return std::unexpected(std::move(activatable.error()));
    }
    // Probed afresh: what is stored reflects the folder at the moment it is registered.
    return add_version(platform, alias, probe_jdk(platform, path));
}

// The aliases registered now; a configuration that cannot be read names none, and the adds
// that follow report the read failure themselves.
std::set<std::string, std::less<>> registered_aliases(const Platform& platform) {
    std::set<std::string, std::less<>> aliases;
    if (auto config = load_config(platform)) {
        for (const auto& [alias, entry] : config->versions) {
            aliases.insert(alias);
        }
    }
    return aliases;
}

void print_found(Terminal& terminal, const DiscoveredJdk& jdk) {
    StyledText tag = jdk.already_configured ? green("[already configured]") : yellow("[new]");
    terminal.print_line(
        {plain("  "), tag, plain(" "), cyan(jdk.path), plain(" " + std::string(k_em_dash) + " "),
         dimmed(jdk.vendor.value_or("?")), plain(" "), dimmed(jdk.version.value_or("?")),
         plain("  ("), dimmed("suggested alias: " + jdk.suggested_alias), plain(")")});
}

}  // namespace

CommandResult run_scan(CommandContext& context, bool auto_add) {
    Terminal& terminal = context.terminal;
    const Platform& platform = context.platform;

    terminal.print_line({plain("Scanning for installed JDKs...")});
    // Probing may start a launcher per JDK; the user sees that the scan is under way.
    terminal.flush();
    const std::vector<DiscoveredJdk> found = discover_jdks(platform);

    if (found.empty()) {
        terminal.print_line({dimmed("No JDKs found in common install locations.")});
        terminal.print_line(
            {plain("Add one manually with: "), command_hint("corvel add <alias> <path>")});
        terminal.flush();
        return {};
    }

    terminal.print_line();
    terminal.print_line({plain("Found " + std::to_string(found.size()) + " JDK(s):").bold()});
    terminal.print_line();

    // Loading the configuration may warn on standard error; what came before shows first.
    terminal.flush();
    auto used = registered_aliases(platform);
    std::size_t added = 0;
    for (const DiscoveredJdk& jdk : found) {
        print_found(terminal, jdk);
        if (!auto_add || jdk.already_configured) {
            continue;
        }
        terminal.flush();
        std::string alias = unique_alias(jdk.suggested_alias, used);
        auto result = add_found(platform, alias, jdk.path);
        if (!result) {
            terminal.print_line({plain("    "), red(k_ballot_x),
                                 plain(" Failed to add: " + result.error().to_text())});
            continue;
        }
        terminal.print_line(
            {plain("    "), green(k_check_mark), plain(" Added as '"), cyan(alias), plain("'")});
        used.insert(std::move(alias));
        ++added;
    }

    terminal.print_line();
    if (auto_add) {
        if (added == 0) {
            terminal.print_line({dimmed("No new JDKs were added (all already configured).")});
        } else {
            terminal.print_line(
                {green(k_check_mark).bold(),
                 plain(" Added " + std::to_string(added) + " new JDK(s) to config.")});
        }
    } else {
        terminal.print_line({plain("Run "), command_hint("corvel scan --auto-add"),
                             plain(" to add all new ones automatically.")});
        terminal.print_line({plain("Or run "), command_hint("corvel add <alias> <path>"),
                             plain(" to add a specific one.")});
    }
    terminal.flush();
    return {};
}

}  // namespace corvel
