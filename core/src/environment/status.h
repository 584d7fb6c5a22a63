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
    std::optional<std::string> java_in_path;  // first match of `where $PATH:java`
    std::optional<std::string> version_output;

    bool operator==(const EnvironmentStatus&) const = default;
};

// The first match `where $PATH:program` prints, trimmed; nothing when where cannot be run,
// fails, or prints nothing. Only the folders of PATH are searched, never the current one, and
// where.exe itself is started from the system folder.
std::optional<std::string> find_on_path(const Platform& platform, std::string_view program);

// where's standard output as text: the bytes as they are when they are valid UTF-8, otherwise
// decoded from the OEM code page, in which console programs usually write to a pipe.
std::string decode_where_output(const ProcessEnvironment& environment, std::string_view bytes);

// The first line of where's output (UTF-8; invalid sequences read as U+FFFD), trimmed; nothing
// when it is empty.
std::optional<std::string> first_where_match(std::string_view standard_output);

// Gathers the status; only a configuration load error is returned.
CoreResult<EnvironmentStatus> current_status(const Platform& platform);

}  // namespace corvel
