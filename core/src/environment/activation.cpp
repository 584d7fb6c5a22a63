#include "environment/activation.h"

#include "config/config.h"
#include "config/config_operations.h"
#include "environment/environment_store.h"
#include "environment/path_rewrite.h"
#include "java/jdk_validation.h"
#include "text/path_text.h"

namespace corvel {

namespace {

// Writes JAVA_HOME and then the rewritten Path of one scope. The Path is read before
// JAVA_HOME is written, so a Path that cannot be read stops the scope with nothing changed
// in it rather than leaving JAVA_HOME and Path pointing at different JDKs.
CoreResult<void> apply_scope(const Platform& platform, EnvironmentScope scope,
                             std::string_view root, std::string_view new_bin,
                             const std::vector<std::string>& registered_bins) {
    if (auto readable = read_path_value(platform, scope); !readable) {
        return std::unexpected(std::move(readable.error()));
    }
    if (auto written = set_java_home(platform, scope, root); !written) {
        return written;
    }
    return update_path(platform, scope, new_bin, registered_bins);
}

}  // namespace

CoreResult<void> check_activatable_root(std::string_view root) {
    std::string shown(root);
    if (root.find(';') != std::string_view::npos) {
        return std::unexpected(CoreError::invalid_jdk_path(
            shown +
            " contains ';', which splits a Path entry in two; move the JDK to a folder "
            "without ';' and register it again"));
    }
    if (root.find('%') != std::string_view::npos) {
        return std::unexpected(CoreError::invalid_jdk_path(
            shown +
            " contains '%', which Windows expands in Path; move the JDK to a folder "
            "without '%' and register it again"));
    }
    if (!is_fully_qualified_path(root)) {
        return std::unexpected(CoreError::invalid_jdk_path(
            shown +
            " is not a full path like C:\\jdks\\jdk-21 or \\\\server\\share\\jdk-21; "
            "register the JDK again under its full path"));
    }
    return {};
}

CoreResult<ApplyOutcome> apply_environment(const Platform& platform, std::string_view root,
                                           const std::vector<std::string>& registered_bins) {
    std::string new_bin = std::string(root) + "\\bin";

    if (auto user = apply_scope(platform, EnvironmentScope::User, root, new_bin, registered_bins);
        !user) {
        return std::unexpected(std::move(user.error()));
    }

    ApplyOutcome outcome;
    if (auto system =
            apply_scope(platform, EnvironmentScope::System, root, new_bin, registered_bins);
        !system) {
        outcome.system_error = system.error().to_text();
    }

    broadcast_environment_change(platform);
    return outcome;
}

CoreResult<std::optional<std::string>> use_version(const Platform& platform,
                                                   std::string_view alias) {
    // One transaction: a second `use` waits, so the registry and `current` always name the
    // same JDK.
    std::optional<std::string> warning;
    auto switched = update_config(platform, [&](Config& config) -> CoreResult<void> {
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
        if (outcome->system_error) {
            warning = std::string(k_system_not_updated_warning);
        }
        config.current = std::string(alias);
        return {};
    });
    if (!switched) {
        return std::unexpected(std::move(switched.error()));
    }
    return warning;
}

}  // namespace corvel
