#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "commands/commands.h"
#include "config/config_operations.h"

namespace corvel {

namespace {

constexpr std::size_t k_min_alias_width = 10;
constexpr std::size_t k_version_width = 12;
constexpr std::size_t k_vendor_width = 20;

// Measured in bytes, as the column has always been; the padding itself counts characters.
std::size_t alias_column_width(const std::vector<JdkListItem>& items) {
    std::size_t widest = 0;
    for (const JdkListItem& item : items) {
        widest = std::max(widest, item.alias.size());
    }
    return column_width(k_min_alias_width, widest);
}

}  // namespace

CommandResult run_list(CommandContext& context) {
    CoreResult<std::vector<JdkListItem>> listed = list_versions(context.platform);
    if (!listed) {
        return std::unexpected(to_command_error(listed.error()));
    }
    Terminal& terminal = context.terminal;
    const std::vector<JdkListItem>& items = *listed;
    if (items.empty()) {
        terminal.print_line({dimmed("No Java versions configured.")});
        terminal.print_line({plain("Use "), command_hint("corvel add <alias> <path>"),
                             plain(" to add one, or "), command_hint("corvel scan --auto-add"),
                             plain(" to auto-detect.")});
        return {};
    }

    terminal.print_header("Configured Java Versions");
    std::size_t alias_width = alias_column_width(items);
    for (const JdkListItem& item : items) {
        StyledText marker = item.is_current ? green(k_active_marker).bold() : plain(" ");
        StyledText alias = item.is_current ? green(item.alias).bold() : plain(item.alias);
        terminal.print_line({
            std::move(marker),
            plain(" "),
            Cell{std::move(alias), alias_width},
            plain("  "),
            Cell{cyan(item.detected_version.value_or("unknown")), k_version_width},
            plain("  "),
            Cell{dimmed(item.vendor.value_or("")), k_vendor_width},
            plain("  "),
            dimmed(item.path),
            item.is_valid ? plain("") : red(" [INVALID PATH]").bold(),
        });
    }
    terminal.print_line();
    terminal.print_line(
        {plain("Total: " + std::to_string(items.size()) + " version(s) configured.")});
    return {};
}

}  // namespace corvel
