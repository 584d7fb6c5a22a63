#include "config/config_operations.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

#include "java/jdk_validation.h"
#include "text/path_text.h"

namespace corvel {

namespace {

// How long a change waits for another corvel process to finish its own: far longer than any
// change takes, short enough that a stuck process never hangs the next one.
constexpr std::chrono::seconds k_lock_wait{10};

}  // namespace

// The lock on config.json.lock is what keeps two corvel processes changing the configuration at
// the same moment from overwriting each other's change.
CoreResult<Config> update_config(const Platform& platform, const ConfigChange& change,
                                 const UndoChange& undo) {
    auto folder = config_dir(platform);
    if (!folder) {
        return std::unexpected(std::move(folder.error()));
    }
    if (auto created = platform.files.create_directories(*folder); !created) {
        return std::unexpected(
            CoreError::config("Cannot create config dir: " + created.error().to_text()));
    }
    auto lock = platform.files.lock_exclusive(join_path(*folder, "config.json.lock"), k_lock_wait);
    if (!lock) {
        if (lock.error().code == k_error_lock_timeout) {
            return std::unexpected(CoreError::config(
                "Cannot lock config file: another corvel process has held it for " +
                std::to_string(k_lock_wait.count()) + " seconds; try again when it has finished"));
        }
        return std::unexpected(
            CoreError::config("Cannot lock config file: " + lock.error().to_text()));
    }
    auto config = load_config(platform);
    if (!config) {
        return std::unexpected(std::move(config.error()));
    }
    if (auto changed = change(*config); !changed) {
        return std::unexpected(std::move(changed.error()));
    }
    if (auto saved = save_config(platform, *config); !saved) {
        if (undo) {
            return std::unexpected(undo(std::move(saved.error())));
        }
        return std::unexpected(std::move(saved.error()));
    }
    return std::move(*config);
}

CoreResult<void> require_config(const Platform& platform, std::string_view alias) {
    auto exists = config_exists(platform);
    if (!exists) {
        return std::unexpected(std::move(exists.error()));
    }
    if (!*exists) {
        return std::unexpected(CoreError::alias_not_found(std::string(alias)));
    }
    return {};
}

CoreResult<Config> add_version(const Platform& platform, std::string_view alias,
                               const JdkEntry& entry) {
    return update_config(platform, [&](Config& config) -> CoreResult<void> {
        auto [place, inserted] = config.versions.try_emplace(std::string(alias), entry);
        if (!inserted) {
            return std::unexpected(CoreError::duplicate_alias(std::string(alias)));
        }
        return {};
    });
}

CoreResult<Config> remove_version(const Platform& platform, std::string_view alias) {
    if (auto registered = require_config(platform, alias); !registered) {
        return std::unexpected(std::move(registered.error()));
    }
    return update_config(platform, [&](Config& config) -> CoreResult<void> {
        auto place = config.versions.find(std::string(alias));
        if (place == config.versions.end()) {
            return std::unexpected(CoreError::alias_not_found(std::string(alias)));
        }
        config.versions.erase(place);
        if (config.current == alias) {
            config.current.reset();
        }
        return {};
    });
}

CoreResult<Config> set_current(const Platform& platform, std::string_view alias,
                               const WithCurrent& with_current, const UndoChange& undo) {
    if (auto registered = require_config(platform, alias); !registered) {
        return std::unexpected(std::move(registered.error()));
    }
    return update_config(
        platform,
        [&](Config& config) -> CoreResult<void> {
            auto entry = config.versions.find(std::string(alias));
            if (entry == config.versions.end()) {
                return std::unexpected(CoreError::alias_not_found(std::string(alias)));
            }
            if (with_current) {
                if (auto done = with_current(config, entry->second); !done) {
                    return done;
                }
            }
            config.current = std::string(alias);
            return {};
        },
        undo);
}

CoreResult<std::vector<JdkListItem>> list_versions(const Platform& platform) {
    auto config = load_config(platform);
    if (!config) {
        return std::unexpected(std::move(config.error()));
    }
    // Sorting pointers to the entries and then moving each entry's texts into its row keeps the
    // rows from being copied and moved about, which cost more than the rest of the listing's
    // own work with tens of thousands of entries. std::string compares as unsigned bytes, which
    // is the order the listing promises.
    using Registered = std::pair<const std::string, JdkEntry>;
    std::vector<Registered*> order;
    order.reserve(config->versions.size());
    for (Registered& registered : config->versions) {
        order.push_back(&registered);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const Registered* a, const Registered* b) { return a->first < b->first; });
    std::vector<JdkListItem> items;
    items.reserve(order.size());
    for (Registered* registered : order) {
        auto& [alias, entry] = *registered;
        bool is_valid = validate_jdk_path(platform, entry.path).has_value();
        items.push_back(JdkListItem{
            .alias = alias,
            .path = std::move(entry.path),
            .detected_version = std::move(entry.detected_version),
            .vendor = std::move(entry.vendor),
            .is_current = config->current == alias,
            .is_valid = is_valid,
        });
    }
    return items;
}

std::string unique_alias(std::string_view base, const std::set<std::string, std::less<>>& used) {
    if (!used.contains(base)) {
        return std::string(base);
    }
    for (unsigned long long number = 2;; ++number) {
        std::string candidate = std::string(base) + "-" + std::to_string(number);
        if (!used.contains(candidate)) {
            return candidate;
        }
    }
}

std::string alias_command(std::string_view command, std::string_view alias) {
    std::string line(command);
    line += alias.starts_with('-') ? " -- " : " ";
    line += alias;
    return line;
}

}  // namespace corvel
