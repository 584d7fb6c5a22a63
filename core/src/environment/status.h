#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/core_error.h"
#include "platform/platform.h"

namespace corvel {

// What `current` shows.
struct EnvironmentStatus {
    std::optional<std::string> config_current;
    std::optional<std::string> java_home;  // user JAVA_HOME from the registry
    bool java_home_valid = false;
    std::optional<std::string> java_in_path;  // first match of `where java`
    std::optional<std::string> version_output;

    bool operator==(const EnvironmentStatus&) const = default;
};

// The first match `where` prints for `program`, trimmed; nothing when where cannot be run,
// fails, or prints nothing. where.exe is started from the system folder, never the current one.
std::optional<std::string> find_on_path(const Platform& platform, std::string_view program);

// The first line of where's standard output (raw bytes), trimmed; nothing when it is empty.
std::optional<std::string> first_where_match(std::string_view standard_output);

// Gathers the status; only a configuration load error is returned.
CoreResult<EnvironmentStatus> current_status(const Platform& platform);

}  // namespace corvel
