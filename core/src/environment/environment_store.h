#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/core_error.h"
#include "platform/platform.h"

namespace corvel {

// Which persistent environment an operation addresses.
enum class EnvironmentScope { User, System };

// Opens the scope's environment key (HKCU\Environment or the Session Manager key), read-only or
// read-write; a Registry error with the scope's open-failure text otherwise.
CoreResult<std::unique_ptr<RegistryKey>> open_environment_key(const Platform& platform,
                                                              EnvironmentScope scope,
                                                              bool writable);

// The value's bytes and type; k_error_bad_file_type for a type code above 11.
std::expected<RegistryValue, std::uint32_t> read_raw_value(const RegistryKey& key,
                                                           std::string_view name);

// A REG_SZ, REG_EXPAND_SZ or REG_MULTI_SZ value as UTF-8 (unexpanded; trailing NULs dropped;
// inner NULs of a multi-string become line feeds); k_error_bad_file_type for other types.
std::expected<std::string, std::uint32_t> read_string_value(const RegistryKey& key,
                                                            std::string_view name);

// Decodes registry text bytes (UTF-16LE) of `type` as read_string_value does.
std::string decode_registry_text(const RegistryValue& value);

// The user JAVA_HOME as stored; nothing when the key or value cannot be read as text.
std::optional<std::string> read_user_java_home(const Platform& platform);

// A value this run wrote: what it held before (nothing: it did not exist) and what was written,
// so that the write can be undone while it still stands.
struct ReplacedValue {
    EnvironmentScope scope = EnvironmentScope::User;
    std::string name;
    std::optional<RegistryValue> before;
    RegistryValue written;
};

// Switches one scope through one read-write key, reading JAVA_HOME and Path once each: writes
// JAVA_HOME as REG_SZ with `root`, then Path with `rewrite` of its text in its own type
// (REG_EXPAND_SZ when there was none), adding each value to `replaced` once written. Nothing is
// written when a value cannot be read or Path is not REG_SZ/REG_EXPAND_SZ with sound UTF-16.
CoreResult<void> switch_scope(const Platform& platform, EnvironmentScope scope,
                              std::string_view root,
                              const std::function<std::string(std::string_view)>& rewrite,
                              std::vector<ReplacedValue>& replaced);

// What putting values back did: the values it left, named like "user Path", because another
// program changed them after this run wrote them; and the first failure, if any.
struct RestoreOutcome {
    std::vector<std::string> left;
    std::optional<CoreError> failure;
};

// Puts the values back, newest first (the same type and bytes, or deleted when they did not
// exist), each only while it still holds what this run wrote. Tries every one.
RestoreOutcome restore_values(const Platform& platform, const std::vector<ReplacedValue>& replaced);

// Announces the change to running programs; cannot fail.
void broadcast_environment_change(const Platform& platform);

// The "{message} (os error {code})" text for a Windows result code ("(os error {code})" when
// the system has no message for it).
std::string os_error_text(const Platform& platform, std::uint32_t code);

}  // namespace corvel
