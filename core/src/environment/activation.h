#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/core_error.h"
#include "environment/environment_store.h"
#include "platform/platform.h"

namespace corvel {

// The warning `use` gets when the system environment could not be updated.
inline constexpr std::string_view k_system_not_updated_warning =
    "System environment (HKLM) could not be updated \u2014 run as Administrator to apply changes "
    "system-wide. User environment was updated successfully.";

// What apply_environment managed: the rendered text of the first system-side error, if any,
// and every value it wrote, oldest first, for undo_environment.
struct ApplyOutcome {
    std::optional<std::string> system_error;
    std::vector<ReplacedValue> replaced;
};

// Whether a JDK root can become JAVA_HOME and a Path entry: it must be fully qualified (a drive
// letter, a colon and a separator, or \\server\share) and hold no ';' (which splits a Path entry)
// and no '%' (which Windows expands in Path). InvalidJdkPath naming the broken rule otherwise.
CoreResult<void> check_activatable_root(std::string_view root);

// The same rule for a folder that add or scan --auto-add would register, judged without its
// trailing separators; the message names `path` as given and says how to add the JDK instead.
CoreResult<void> check_registrable_root(std::string_view path);

// Writes JAVA_HOME and Path for the user, then the system, then broadcasts. A user-side
// failure is returned with the user values put back as they were (one that another program
// changed meanwhile is left, and the error names it); a system-side one is recorded in the
// outcome.
CoreResult<ApplyOutcome> apply_environment(const Platform& platform, std::string_view root,
                                           const std::vector<std::string>& registered_bins);

// Puts back every value `applied` wrote that still holds what it wrote, and broadcasts again
// when there was any.
RestoreOutcome undo_environment(const Platform& platform, const ApplyOutcome& applied);

// Activates the registered JDK `alias` and records it as current through set_current, holding
// the configuration lock from the first read to the last write; the optional warning when the
// system environment was not updated. A switch that cannot be recorded is undone, except for a
// value another program changed meanwhile, which the error names.
CoreResult<std::optional<std::string>> use_version(const Platform& platform,
                                                   std::string_view alias);

}  // namespace corvel
