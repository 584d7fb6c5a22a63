#include "environment/activation.h"

#include "config/config.h"
#include "config/config_operations.h"
#include "environment/environment_store.h"
#include "environment/path_rewrite.h"
#include "java/jdk_validation.h"
#include "text/path_text.h"

namespace corvel {

namespace {

// Writes JAVA_HOME and then the rewritten Path of one scope, adding each value it replaced to
// `replaced`. The Path is read before JAVA_HOME is written, so a Path that cannot be read stops
// the scope with nothing changed in it.
CoreResult<void> apply_scope(const Platform& platform, EnvironmentScope scope,
                             std::string_view root, std::string_view new_bin,
                             const std::vector<std::string>& registered_bins,
                             std::vector<PreviousValue>& replaced) {
    if (auto readable = read_path_value(platform, scope); !readable) {
        return std::unexpected(std::move(readable.error()));
    }
    auto java_home = remember_value(platform, scope, "JAVA_HOME");
    if (!java_home) {
        return std::unexpected(std::move(java_home.error()));
    }
    auto path = remember_value(platform, scope, "Path");
    if (!path) {
        return std::unexpected(std::move(path.error()));
    }
    if (auto written = set_java_home(platform, scope, root); !written) {
        return written;
    }
    replaced.push_back(std::move(*java_home));
    if (auto written = update_path(platform, scope, new_bin, registered_bins); !written) {
        return written;
    }
    replaced.push_back(std::move(*path));
    return {};
}

// The first rule `root` breaks of those that let a folder stand in Path; None when none.
enum class RootFault { None, Semicolon, Percent, DevicePath, NotFullPath };
RootFault root_fault(std::string_view root) {
    if (root.find(';') != std::string_view::npos) {
        return RootFault::Semicolon;
    }
    if (root.find('%') != std::string_view::npos) {
        return RootFault::Percent;
    }
    if (is_device_path(root)) {
        return RootFault::DevicePath;
    }
    if (!is_fully_qualified_path(root)) {
        return RootFault::NotFullPath;
    }
    return RootFault::None;
}

}  // namespace

CoreResult<void> check_activatable_root(std::string_view root) {
    std::string shown(root);
    switch (root_fault(root)) {
        case RootFault::None:
            return {};
        case RootFault::Semicolon:
            return std::unexpected(CoreError::invalid_jdk_path(
                shown +
                " contains ';', which splits a Path entry in two; move the JDK to a folder "
                "without ';' and register it again"));
        case RootFault::Percent:
            return std::unexpected(CoreError::invalid_jdk_path(
                shown +
                " contains '%', which Windows expands in Path; move the JDK to a folder "
                "without '%' and register it again"));
        case RootFault::DevicePath:
        case RootFault::NotFullPath:
            break;
    }
    return std::unexpected(CoreError::invalid_jdk_path(
        shown +
        " is not a full path like C:\\jdks\\jdk-21 or \\\\server\\share\\jdk-21; "
        "register the JDK again under its full path"));
}

CoreResult<void> check_registrable_root(std::string_view path) {
    std::string shown(path);
    switch (root_fault(trim_trailing_separators(path))) {
        case RootFault::None:
            return {};
        case RootFault::Semicolon:
            return std::unexpected(CoreError::invalid_jdk_path(
                shown +
                " contains ';', which splits a Path entry in two; move the JDK to a folder "
                "without ';' to add it"));
        case RootFault::Percent:
            return std::unexpected(CoreError::invalid_jdk_path(
                shown +
                " contains '%', which Windows expands in Path; move the JDK to a folder "
                "without '%' to add it"));
        case RootFault::DevicePath:
            return std::unexpected(CoreError::invalid_jdk_path(
                shown +
                " is a device path, which other programs do not read as a folder; add the JDK "
                "under its plain path like C:\\jdks\\jdk-21"));
        case RootFault::NotFullPath:
            break;
    }
    return std::unexpected(CoreError::invalid_jdk_path(
        shown +
        " is not a full path like C:\\jdks\\jdk-21 or \\\\server\\share\\jdk-21; add the "
        "JDK under its full path"));
}

CoreResult<ApplyOutcome> apply_environment(const Platform& platform, std::string_view root,
                                           const std::vector<std::string>& registered_bins) {
    std::string new_bin = jdk_bin_folder(root);

    ApplyOutcome outcome;
    if (auto user = apply_scope(platform, EnvironmentScope::User, root, new_bin, registered_bins,
                                outcome.replaced);
        !user) {
        // Nothing was announced, and once JAVA_HOME is back nothing has changed.
        if (auto restored = restore_values(platform, outcome.replaced); !restored) {
            return std::unexpected(CoreError::other(
                "The user JAVA_HOME was switched to " + std::string(root) +
                " but its Path was not (" + user.error().to_text() +
                "), and putting JAVA_HOME back failed: " + restored.error().to_text()));
        }
        return std::unexpected(std::move(user.error()));
    }
    if (auto system = apply_scope(platform, EnvironmentScope::System, root, new_bin,
                                  registered_bins, outcome.replaced);
        !system) {
        outcome.system_error = system.error().to_text();
    }

    broadcast_environment_change(platform);
    return outcome;
}

CoreResult<void> undo_environment(const Platform& platform, const ApplyOutcome& applied) {
    if (applied.replaced.empty()) {
        return {};
    }
    auto restored = restore_values(platform, applied.replaced);
    broadcast_environment_change(platform);
    return restored;
}

CoreResult<std::optional<std::string>> use_version(const Platform& platform,
                                                   std::string_view alias) {
    // Without config.json no alias is registered; failing here creates nothing.
    if (auto registered = require_config(platform, alias); !registered) {
        return std::unexpected(std::move(registered.error()));
    }
    // One transaction: a second `use` waits, so the registry and `current` always name the
    // same JDK.
    ApplyOutcome applied;
    auto undo = [&](CoreError save_error) {
        auto restored = undo_environment(platform, applied);
        if (restored) {
            return save_error;
        }
        return CoreError::other("The environment was switched to '" + std::string(alias) +
                                "' but config.json was not updated (" + save_error.to_text() +
                                "), and putting the previous JAVA_HOME and Path back failed: " +
                                restored.error().to_text());
    };
    auto switched = update_config(
        platform,
        [&](Config& config) -> CoreResult<void> {
            auto entry = config.versions.find(std::string(alias));
            if (entry == config.versions.end()) {
                return std::unexpected(CoreError::alias_not_found(std::string(alias)));
            }
            const std::string& root = entry->second.path;
            if (auto activatable = check_activatable_root(root); !activatable) {
                return activatable;
            }
            if (auto valid = validate_jdk_path(platform, root); !valid) {
                return valid;
            }
            auto outcome = apply_environment(platform, root, registered_bin_dirs(config));
            if (!outcome) {
                return std::unexpected(std::move(outcome.error()));
            }
            applied = std::move(*outcome);
            config.current = std::string(alias);
            return {};
        },
        undo);
    if (!switched) {
        return std::unexpected(std::move(switched.error()));
    }
    if (applied.system_error) {
        return std::optional<std::string>(k_system_not_updated_warning);
    }
    return std::nullopt;
}

}  // namespace corvel
