#include "environment/environment_store.h"

#include <algorithm>
#include <vector>

#include "platform/io_error.h"
#include "text/text.h"

namespace corvel {

namespace {

// The key of a scope and the texts its failures are reported with.
struct ScopeKey {
    RegistryRoot root;
    std::string_view subkey;
    std::string_view open_failure;
    std::string_view java_home_write_failure;
    std::string_view path_read_failure;
    std::string_view path_write_failure;
};

constexpr ScopeKey k_user_key{
    RegistryRoot::CurrentUser,  "Environment",        "Cannot open HKCU\\Environment: ",
    "Cannot write JAVA_HOME: ", "Cannot read Path: ", "Cannot write Path: ",
};

constexpr ScopeKey k_system_key{
    RegistryRoot::LocalMachine,
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
    "Cannot open HKLM system environment (run as administrator?): ",
    "Cannot write system JAVA_HOME: ",
    "Cannot read system Path: ",
    "Cannot write system Path: ",
};

const ScopeKey& scope_key(EnvironmentScope scope) {
    return scope == EnvironmentScope::User ? k_user_key : k_system_key;
}

bool is_text_type(std::uint32_t type) {
    return type == k_reg_sz || type == k_reg_expand_sz || type == k_reg_multi_sz;
}

// UTF-16LE code units of the bytes; an odd last byte belongs to no unit and is ignored.
std::u16string utf16_units(const std::vector<std::uint8_t>& bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return units;
}

void drop_trailing_nuls(std::u16string& units) {
    while (!units.empty() && units.back() == u'\0') {
        units.pop_back();
    }
}

// Text as the registry stores it: UTF-16LE and one NUL unit, which the byte count includes.
std::vector<std::uint8_t> encode_registry_text(std::string_view text) {
    std::u16string units = to_utf16(text);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(units.size() * 2 + 2);
    for (char16_t unit : units) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

CoreError registry_error(const Platform& platform, std::string_view prefix, std::uint32_t code) {
    return CoreError::registry(std::string(prefix) + os_error_text(platform, code));
}

// A Path value as text that can be rewritten and written back without losing anything: only
// REG_SZ and REG_EXPAND_SZ qualify (a multi-string's element boundaries would not survive the
// rewrite), and the UTF-16 must be well formed (a lone surrogate would come back as U+FFFD).
std::expected<std::string, std::uint32_t> rewritable_text(const RegistryValue& value) {
    if (value.type != k_reg_sz && value.type != k_reg_expand_sz) {
        return std::unexpected(k_error_bad_file_type);
    }
    std::u16string units = utf16_units(value.bytes);
    drop_trailing_nuls(units);
    auto text = from_utf16_strict(units);
    if (!text) {
        return std::unexpected(k_error_no_unicode_translation);
    }
    return std::move(*text);
}

// "Cannot read JAVA_HOME: ", "Cannot restore system Path: ", ...
std::string value_failure(EnvironmentScope scope, std::string_view action, std::string_view name) {
    std::string text = "Cannot " + std::string(action) + " ";
    if (scope == EnvironmentScope::System) {
        text += "system ";
    }
    return text + std::string(name) + ": ";
}

// "user Path", "system JAVA_HOME"
std::string value_label(EnvironmentScope scope, std::string_view name) {
    return (scope == EnvironmentScope::User ? "user " : "system ") + std::string(name);
}

// Puts one value back while it still holds what this run wrote; false when another program
// has changed it since, which is then left as it is.
CoreResult<bool> restore_value(const Platform& platform, const ReplacedValue& replaced) {
    auto key = open_environment_key(platform, replaced.scope, true);
    if (!key) {
        return std::unexpected(std::move(key.error()));
    }
    std::string failure = value_failure(replaced.scope, "restore", replaced.name);
    auto now = (*key)->query_value(replaced.name);
    if (!now && now.error() != k_error_file_not_found) {
        return std::unexpected(registry_error(platform, failure, now.error()));
    }
    if (!now || now->type != replaced.written.type || now->bytes != replaced.written.bytes) {
        return false;
    }
    std::uint32_t result = k_error_success;
    if (replaced.before) {
        result = (*key)->set_value(replaced.name, replaced.before->type, replaced.before->bytes);
    } else if (result = (*key)->delete_value(replaced.name); result == k_error_file_not_found) {
        result = k_error_success;
    }
    if (result != k_error_success) {
        return std::unexpected(registry_error(platform, failure, result));
    }
    return true;
}

}  // namespace

std::string os_error_text(const Platform& platform, std::uint32_t code) {
    return format_os_error(platform.registry.error_message(code), code);
}

CoreResult<std::unique_ptr<RegistryKey>> open_environment_key(const Platform& platform,
                                                              EnvironmentScope scope,
                                                              bool writable) {
    const ScopeKey& target = scope_key(scope);
    auto key = platform.registry.open_key(target.root, target.subkey,
                                          writable ? k_key_read_write : k_key_read);
    if (!key) {
        return std::unexpected(registry_error(platform, target.open_failure, key.error()));
    }
    return std::move(*key);
}

std::expected<RegistryValue, std::uint32_t> read_raw_value(const RegistryKey& key,
                                                           std::string_view name) {
    auto value = key.query_value(name);
    if (value && value->type > k_reg_qword) {
        return std::unexpected(k_error_bad_file_type);
    }
    return value;
}

std::string decode_registry_text(const RegistryValue& value) {
    std::u16string units = utf16_units(value.bytes);
    drop_trailing_nuls(units);
    std::string text = from_utf16_lossy(units);
    if (value.type == k_reg_multi_sz) {
        std::replace(text.begin(), text.end(), '\0', '\n');
    }
    return text;
}

std::expected<std::string, std::uint32_t> read_string_value(const RegistryKey& key,
                                                            std::string_view name) {
    auto raw = read_raw_value(key, name);
    if (!raw) {
        return std::unexpected(raw.error());
    }
    if (!is_text_type(raw->type)) {
        return std::unexpected(k_error_bad_file_type);
    }
    return decode_registry_text(*raw);
}

std::optional<std::string> read_user_java_home(const Platform& platform) {
    auto key = open_environment_key(platform, EnvironmentScope::User, false);
    if (!key) {
        return std::nullopt;
    }
    auto text = read_string_value(**key, "JAVA_HOME");
    if (!text) {
        return std::nullopt;
    }
    return std::move(*text);
}

CoreResult<void> switch_scope(const Platform& platform, EnvironmentScope scope,
                              std::string_view root,
                              const std::function<std::string(std::string_view)>& rewrite,
                              std::vector<ReplacedValue>& replaced) {
    const ScopeKey& target = scope_key(scope);
    auto key = open_environment_key(platform, scope, true);
    if (!key) {
        return std::unexpected(std::move(key.error()));
    }
    // Both values are read before either is written, and what cannot be read could not be put
    // back: a JAVA_HOME is kept whatever its type, a Path only when it can be rewritten.
    std::optional<RegistryValue> java_home;
    if (auto value = (*key)->query_value("JAVA_HOME"); value) {
        java_home = std::move(*value);
    } else if (value.error() != k_error_file_not_found) {
        return std::unexpected(
            registry_error(platform, value_failure(scope, "read", "JAVA_HOME"), value.error()));
    }
    std::optional<RegistryValue> path;
    std::string path_text;
    if (auto value = read_raw_value(**key, "Path"); value) {
        auto text = rewritable_text(*value);
        if (!text) {
            return std::unexpected(
                registry_error(platform, target.path_read_failure, text.error()));
        }
        path = std::move(*value);
        path_text = std::move(*text);
    } else if (value.error() != k_error_file_not_found) {
        return std::unexpected(registry_error(platform, target.path_read_failure, value.error()));
    }

    RegistryValue new_java_home{encode_registry_text(root), k_reg_sz};
    std::uint32_t result = (*key)->set_value("JAVA_HOME", new_java_home.type, new_java_home.bytes);
    if (result != k_error_success) {
        return std::unexpected(registry_error(platform, target.java_home_write_failure, result));
    }
    replaced.push_back(ReplacedValue{scope, "JAVA_HOME", std::move(java_home), new_java_home});

    RegistryValue new_path{encode_registry_text(rewrite(path_text)),
                           path ? path->type : k_reg_expand_sz};
    result = (*key)->set_value("Path", new_path.type, new_path.bytes);
    if (result != k_error_success) {
        return std::unexpected(registry_error(platform, target.path_write_failure, result));
    }
    replaced.push_back(ReplacedValue{scope, "Path", std::move(path), std::move(new_path)});
    return {};
}

RestoreOutcome restore_values(const Platform& platform,
                              const std::vector<ReplacedValue>& replaced) {
    RestoreOutcome outcome;
    for (auto value = replaced.rbegin(); value != replaced.rend(); ++value) {
        auto restored = restore_value(platform, *value);
        if (!restored) {
            if (!outcome.failure) {
                outcome.failure = std::move(restored.error());
            }
        } else if (!*restored) {
            outcome.left.insert(outcome.left.begin(), value_label(value->scope, value->name));
        }
    }
    return outcome;
}

void broadcast_environment_change(const Platform& platform) {
    platform.registry.broadcast_environment_change();
}

}  // namespace corvel
