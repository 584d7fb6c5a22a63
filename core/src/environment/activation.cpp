#include "environment/activation.h"

#include "config/config.h"
#include "config/config_operations.h"
#include "environment/environment_store.h"
#include "environment/path_rewrite.h"
#include "java/jdk_validation.h"
#include "text/path_text.h"

namespace corvel {

namespace {

// Writes JAVA_HOME and then the rewritten Path of one scope, adding each value it wrote to
// `replaced`.
CoreResult<void> apply_scope(const Platform& platform, EnvironmentScope scope,
                             std::string_view root, std::string_view new_bin,
                             const std::vector<std::string>& registered_bins,
                             std::vector<ReplacedValue>& replaced) {
    return switch_scope(
        platform, scope, root,
        [&](std::string_view path) { return rewrite_path(path, new_bin, registered_bins); },
        replaced);
}

// "; the user Path, which another program changed in the meantime, was left as it is"; nothing
// when no value was left.
std::string left_values_note(const std::vector<std::string>& left) {
    if (left.empty()) {
        return {};
    }
    std::string names = "the " + left.front();
    for (std::size_t i = 1; i < left.size(); ++i) {
        names += (i + 1 == left.size() ? " and the " : ", the ") + left[i];
    }
    return "; " + names + ", which another program changed in the meantime, " +
           (left.size() == 1 ? "was left as it is" : "were left as they are");
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

// What is wrong with `shown` for `fault`, then the remedy: moving the folder, followed by
// `move_tail`, or `full_path_remedy` for a path that is not full (a device path among them).
std::string root_fault_text(RootFault fault, std::string_view shown, std::string_view move_tail,
                            std::string_view full_path_remedy) {
    std::string text(shown);
    switch (fault) {
        case RootFault::Semicolon:
            text +=
                " contains ';', which splits a Path entry in two; move the JDK to a folder "
                "without ';'";
            return text.append(move_tail);
        case RootFault::Percent:
            text +=
                " contains '%', which Windows expands in Path; move the JDK to a folder "
                "without '%'";
            return text.append(move_tail);
        case RootFault::None:
        case RootFault::DevicePath:
        case RootFault::NotFullPath:
            break;
    }
    text += " is not a full path like C:\\jdks\\jdk-21 or \\\\server\\share\\jdk-21; ";
    return text.append(full_path_remedy);
}

}  // namespace

CoreResult<void> check_activatable_root(std::string_view root) {
    RootFault fault = root_fault(root);
    if (fault == RootFault::None) {
        return {};
    }
    return std::unexpected(CoreError::invalid_jdk_path(root_fault_text(
        fault, root, " and register it again", "register the JDK again under its full path")));
}

CoreResult<void> check_registrable_root(std::string_view path) {
    RootFault fault = root_fault(trim_trailing_separators(path));
    if (fault == RootFault::None) {
        return {};
    }
    if (fault == RootFault::DevicePath) {
        return std::unexpected(CoreError::invalid_jdk_path(
            std::string(path) +
            " is a device path, which other programs do not read as a folder; add the JDK "
            "under its plain path like C:\\jdks\\jdk-21"));
    }
    return std::unexpected(CoreError::invalid_jdk_path(
        root_fault_text(fault, path, " to add it", "add the JDK under its full path")));
}

CoreResult<ApplyOutcome> apply_environment(const Platform& platform, std::string_view root,
                                           const std::vector<std::string>& registered_bins) {
    std::string new_bin = jdk_bin_folder(root);

    ApplyOutcome outcome;
    if (auto user = apply_scope(platform, EnvironmentScope::User, root, new_bin, registered_bins,
                                outcome.replaced);
        !user) {
        // Nothing was announced, and once JAVA_HOME is back nothing has changed.
        RestoreOutcome restored = restore_values(platform, outcome.replaced);
        std::string note = left_values_note(restored.left);
        if (restored.failure) {
            return std::unexpected(CoreError::other(
                "The user JAVA_HOME was switched to " + std::string(root) +
                " but its Path was not (" + user.error().to_text() +
                "), and putting JAVA_HOME back failed: " + restored.failure->to_text() + note));
        }
        if (!note.empty()) {
            return std::unexpected(CoreError::other(user.error().to_text() + note));
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

RestoreOutcome undo_environment(const Platform& platform, const ApplyOutcome& applied) {
    if (applied.replaced.empty()) {
        return {};
    }
    RestoreOutcome restored = restore_values(platform, applied.replaced);
    broadcast_environment_change(platform);
    return restored;
}

CoreResult<std::optional<std::string>> use_version(const Platform& platform,
                                                   std::string_view alias) {
    // One transaction: a second `use` waits, so the registry and `current` always name the
    // same JDK.
    ApplyOutcome applied;
    auto undo = [&](CoreError save_error) {
        RestoreOutcome restored = undo_environment(platform, applied);
        std::string note = left_values_note(restored.left);
        if (restored.failure) {
            return CoreError::other("The environment was switched to '" + std::string(alias) +
                                    "' but config.json was not updated (" + save_error.to_text() +
                                    "), and putting the previous JAVA_HOME and Path back failed: " +
                                    restored.failure->to_text() + note);
        }
        if (!note.empty()) {
            return CoreError::other(save_error.to_text() + note);
        }
        return save_error;
    };
    auto switch_environment = [&](const Config& config, const JdkEntry& entry) -> CoreResult<void> {
        if (auto activatable = check_activatable_root(entry.path); !activatable) {
            return activatable;
        }
        if (auto valid = validate_jdk_path(platform, entry.path); !valid) {
            return valid;
        }
        auto outcome = apply_environment(platform, entry.path, registered_bin_dirs(config));
        if (!outcome) {
            return std::unexpected(std::move(outcome.error()));
        }
        applied = std::move(*outcome);
        return {};
    };
    if (auto recorded = set_current(platform, alias, switch_environment, undo); !recorded) {
        return std::unexpected(std::move(recorded.error()));
    }
    if (applied.system_error) {
        return std::optional<std::string>(k_system_not_updated_warning);
    }
    return std::nullopt;
}

}  // namespace corvel
