#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "config/core_error.h"
#include "platform/platform.h"

namespace corvel {

// One registered JDK.
struct JdkEntry {
    std::string path;                             // JDK root folder as registered
    std::optional<std::string> detected_version;  // absent when it could not be found
    std::optional<std::string> vendor;            // absent when the version could not be found

    bool operator==(const JdkEntry&) const = default;
};

// The whole persisted configuration.
struct Config {
    std::optional<std::string> current;                  // alias of the active JDK
    std::unordered_map<std::string, JdkEntry> versions;  // alias -> entry; order means nothing

    bool operator==(const Config&) const = default;
};

// %APPDATA%\corvel from the known-folder service; Config "Cannot locate user config directory"
// when the lookup fails. Creates nothing.
CoreResult<std::string> config_dir(const Platform& platform);

// config_dir joined with config.json.
CoreResult<std::string> config_path(const Platform& platform);

// Whether config.json exists; a Config error when it exists but cannot be examined. Creates
// nothing.
CoreResult<bool> config_exists(const Platform& platform);

// Reads config.json afresh: the empty configuration when the file (or its folder) is missing;
// a warning on standard error and the empty configuration when it is corrupt; a Config error
// when it cannot be examined or read. Never writes.
CoreResult<Config> load_config(const Platform& platform);

// Replaces config.json with `config`, creating the folder when needed. The file is replaced
// in one step, so a failure leaves the previous content whole; a previous file that does not
// load is first kept beside it as config.json.corrupt (or .corrupt-2, -3, ...).
CoreResult<void> save_config(const Platform& platform, const Config& config);

// The exact bytes save_config writes for `config` (two-space indentation, no final line end).
std::string serialize_config(const Config& config);

// Parses config.json text by the reading rules; the JSON library's description of the first
// problem (what was expected, with line and column) on failure.
std::expected<Config, std::string> parse_config(std::string_view text);

}  // namespace corvel
