#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

// Windows result codes the core reacts to.
inline constexpr std::uint32_t k_error_success = 0;
inline constexpr std::uint32_t k_error_file_not_found = 2;
inline constexpr std::uint32_t k_error_access_denied = 5;
inline constexpr std::uint32_t k_error_bad_file_type = 222;
inline constexpr std::uint32_t k_error_more_data = 234;
inline constexpr std::uint32_t k_error_no_more_items = 259;
inline constexpr std::uint32_t k_error_no_unicode_translation = 1113;

// Registry access rights and value types.
inline constexpr std::uint32_t k_key_read = 0x20019;
inline constexpr std::uint32_t k_key_read_write = 0x2001F;
inline constexpr std::uint32_t k_reg_none = 0;
inline constexpr std::uint32_t k_reg_sz = 1;
inline constexpr std::uint32_t k_reg_expand_sz = 2;
inline constexpr std::uint32_t k_reg_binary = 3;
inline constexpr std::uint32_t k_reg_dword = 4;
inline constexpr std::uint32_t k_reg_multi_sz = 7;
inline constexpr std::uint32_t k_reg_qword = 11;

enum class RegistryRoot { CurrentUser, LocalMachine };

// A value as the registry holds it: its bytes and its type code, unchecked.
struct RegistryValue {
    std::vector<std::uint8_t> bytes;
    std::uint32_t type = k_reg_none;
};

// An open registry key; destroying it closes the key.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;

    // The value called `name` (names compare without regard to case), read whole however large;
    // otherwise the Windows result code.
    virtual std::expected<RegistryValue, std::uint32_t> query_value(
        std::string_view name) const = 0;

    // Writes `data` under `name` with `type`; returns the Windows result code (0 on success).
    virtual std::uint32_t set_value(std::string_view name, std::uint32_t type,
                                    std::span<const std::uint8_t> data) = 0;

    // Deletes the value `name`; returns the Windows result code (0 on success).
    virtual std::uint32_t delete_value(std::string_view name) = 0;

    // The name of subkey number `index`; k_error_no_more_items past the last one,
    // k_error_more_data for a name longer than 2048 UTF-16 units, and
    // k_error_no_unicode_translation for a name that is not valid UTF-16.
    virtual std::expected<std::string, std::uint32_t> enum_subkey(std::uint32_t index) const = 0;

    // Opens the subkey `name` of this key with `access`.
    virtual std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_subkey(
        std::string_view name, std::uint32_t access) const = 0;
};

// The registry and the environment-change announcement: the environment keys, the JavaSoft
// keys and WM_SETTINGCHANGE sit behind this seam so that every rule above them is unit-tested
// against an in-memory registry that returns the same result codes.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;

    // Opens `subkey` below `root` with `access` (k_key_read or k_key_read_write).
    virtual std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_key(
        RegistryRoot root, std::string_view subkey, std::uint32_t access) = 0;

    // The system's message text for a Windows result code, trailing white space removed.
    virtual std::string error_message(std::uint32_t code) const = 0;

    // Tells running programs that the environment changed (WM_SETTINGCHANGE "Environment").
    virtual void broadcast_environment_change() = 0;
};

}  // namespace corvel
