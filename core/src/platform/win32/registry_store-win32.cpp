#include "platform/win32/win32_seams.h"

#include <algorithm>
#include <limits>

#include "text/text.h"

namespace corvel::win32 {

namespace {

constexpr DWORD k_initial_value_buffer = 2048;  // bytes
constexpr DWORD k_subkey_name_buffer = 2048;    // UTF-16 units, terminator included
constexpr DWORD k_highest_value_type = REG_QWORD;

// A name with a NUL would reach the registry cut short and address another key or value.
bool holds_nul(std::string_view text) {
    return text.find('\0') != std::string_view::npos;
}

std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_below(HKEY parent,
                                                                      std::string_view subkey,
                                                                      std::uint32_t access);

class Win32RegistryKey : public RegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : m_key(key) {}
    ~Win32RegistryKey() override {
        RegCloseKey(m_key);
    }
    Win32RegistryKey(const Win32RegistryKey&) = delete;
    Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

    std::expected<RegistryValue, std::uint32_t> query_value(std::string_view name) const override {
        if (holds_nul(name)) {
            return std::unexpected(std::uint32_t{ERROR_INVALID_PARAMETER});
        }
        const std::wstring wide_name = to_wide(name);
        std::vector<std::uint8_t> buffer(k_initial_value_buffer);
        while (true) {
            DWORD type = 0;
            DWORD size = static_cast<DWORD>(buffer.size());
            LSTATUS result =
                RegQueryValueExW(m_key, wide_name.c_str(), nullptr, &type, buffer.data(), &size);
            if (result == ERROR_MORE_DATA) {
                // The value may grow between two calls; ask again as often as needed.
                std::size_t wanted = std::max<std::size_t>(size, buffer.size() * 2);
                if (wanted > std::numeric_limits<DWORD>::max()) {
                    return std::unexpected(std::uint32_t{ERROR_MORE_DATA});
                }
                buffer.resize(wanted);
                continue;
            }
            if (result != ERROR_SUCCESS) {
                return std::unexpected(static_cast<std::uint32_t>(result));
            }
            if (type > k_highest_value_type) {
                return std::unexpected(std::uint32_t{ERROR_BAD_FILE_TYPE});
            }
            buffer.resize(std::min<std::size_t>(size, buffer.size()));
            return RegistryValue{std::move(buffer), type};
        }
    }

    std::uint32_t set_value(std::string_view name, std::uint32_t type,
                            std::span<const std::uint8_t> data) override {
        if (holds_nul(name) || data.size() > std::numeric_limits<DWORD>::max()) {
            return ERROR_INVALID_PARAMETER;
        }
        const std::wstring wide_name = to_wide(name);
        return static_cast<std::uint32_t>(RegSetValueExW(
            m_key, wide_name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())));
    }

    std::uint32_t delete_value(std::string_view name) override {
        if (holds_nul(name)) {
            return ERROR_INVALID_PARAMETER;
        }
        const std::wstring wide_name = to_wide(name);
        return static_cast<std::uint32_t>(RegDeleteValueW(m_key, wide_name.c_str()));
    }

    std::expected<std::string, std::uint32_t> enum_subkey(std::uint32_t index) const override {
        wchar_t name[k_subkey_name_buffer];
        DWORD length = k_subkey_name_buffer;
        LSTATUS result =
            RegEnumKeyExW(m_key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result != ERROR_SUCCESS) {
            return std::unexpected(static_cast<std::uint32_t>(result));
        }
        std::u16string_view units(reinterpret_cast<const char16_t*>(name),
                                  std::min<DWORD>(length, k_subkey_name_buffer));
        std::optional<std::string> text = from_utf16_strict(units);
        if (!text) {
            return std::unexpected(std::uint32_t{ERROR_NO_UNICODE_TRANSLATION});
        }
        return std::move(*text);
    }

    std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_subkey(
        std::string_view name, std::uint32_t access) const override {
        return open_below(m_key, name, access);
    }

private:
    HKEY m_key;
};

std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_below(HKEY parent,
                                                                      std::string_view subkey,
                                                                      std::uint32_t access) {
    if (holds_nul(subkey)) {
        return std::unexpected(std::uint32_t{ERROR_INVALID_PARAMETER});
    }
    const std::wstring wide_subkey = to_wide(subkey);
    HKEY key = nullptr;
    LSTATUS result = RegOpenKeyExW(parent, wide_subkey.c_str(), 0, access, &key);
    if (result != ERROR_SUCCESS) {
        return std::unexpected(static_cast<std::uint32_t>(result));
    }
    return std::make_unique<Win32RegistryKey>(key);
}

}  // namespace

std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> Win32RegistryStore::open_key(
    RegistryRoot root, std::string_view subkey, std::uint32_t access) {
    // The predefined roots are never closed; only the key opened below them is owned.
    HKEY parent = root == RegistryRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    return open_below(parent, subkey, access);
}

std::string Win32RegistryStore::error_message(std::uint32_t code) const {
    return system_message(code);
}

void Win32RegistryStore::broadcast_environment_change() {
    using SendMessageWithTimeout =
        LRESULT WINAPI(HWND, UINT, WPARAM, LPARAM, UINT, UINT, PDWORD_PTR);
    auto* send = system_function<SendMessageWithTimeout>(L"user32.dll", "SendMessageTimeoutW");
    if (send == nullptr) {
        return;
    }
    DWORD_PTR result = 0;
    // Nobody has to answer; the return value and the result word tell nothing useful.
    send(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(L"Environment"),
         SMTO_ABORTIFHUNG, 5000, &result);
}

}  // namespace corvel::win32
