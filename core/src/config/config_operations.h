#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "config/config.h"

namespace corvel {

// One row of the sorted listing; an independent copy.
struct JdkListItem {
    std::string alias;
    std::string path;
    std::optional<std::string> detected_version;
    std::optional<std::string> vendor;
    bool is_current = false;  // `current` equals the alias byte for byte
    bool is_valid = false;    // validate_jdk_path accepts the path now
};

// A change to a loaded configuration; an error rejects it, and nothing is saved.
using ConfigChange = std::function<CoreResult<void>(Config&)>;

// Undoes what a change did outside the file when the changed configuration could not be saved;
// called with the save error while the lock is still held, returns the error to report.
using UndoChange = std::function<CoreError(CoreError save_error)>;

// Loads config.json, runs `change` on it and saves the result, all while holding the
// configuration lock (waited for at most 10 seconds), so that whatever `change` does outside
// the file happens as one step with it. Returns the saved configuration.
CoreResult<Config> update_config(const Platform& platform, const ConfigChange& change,
                                 const UndoChange& undo = {});

// AliasNotFound for `alias` when there is no config.json at all, so that an operation that can
// only fail without one fails before it creates the folder or the lock.
CoreResult<void> require_config(const Platform& platform, std::string_view alias);

// Registers `entry` under `alias` as one locked load-check-save; DuplicateAlias when the alias
// is taken. Never changes `current`.
CoreResult<Config> add_version(const Platform& platform, std::string_view alias,
                               const JdkEntry& entry);

// Unregisters `alias` (clearing `current` when it named it); AliasNotFound when unknown.
CoreResult<Config> remove_version(const Platform& platform, std::string_view alias);

// Work that must happen as one step with recording an alias as current (the switch of `use`):
// given the loaded configuration and the alias's entry; its error rejects the change.
using WithCurrent = std::function<CoreResult<void>(const Config& config, const JdkEntry& entry)>;

// Records `alias` as current as one locked load-check-save, running `with_current` (when given)
// after the alias was found and before the save, and `undo` as update_config does;
// AliasNotFound when unknown.
CoreResult<Config> set_current(const Platform& platform, std::string_view alias,
                               const WithCurrent& with_current = {}, const UndoChange& undo = {});

// Every registered JDK, sorted by the raw bytes of the alias.
CoreResult<std::vector<JdkListItem>> list_versions(const Platform& platform);

// `base` when unused, else base-2, base-3, ... : the first not in `used`.
std::string unique_alias(std::string_view base, const std::set<std::string, std::less<>>& used);

// `command` (such as "corvel use") and `alias` as a hint the user can type: "-- " comes before
// an alias that begins with '-', which would otherwise be read as an option; any other alias
// follows one space as it is.
std::string alias_command(std::string_view command, std::string_view alias);

}  // namespace corvel
