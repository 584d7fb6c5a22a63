#include "platform/win32/win32_seams.h"

#include <limits>
#include <vector>

#include "text/text.h"

namespace corvel::win32 {

std::optional<std::string> Win32ProcessEnvironment::variable(std::string_view name) const {
    std::wstring wide_name = to_wide(name);
    std::vector<wchar_t> buffer(256);
    while (true) {
        SetLastError(ERROR_SUCCESS);
        DWORD length = GetEnvironmentVariableW(wide_name.c_str(), buffer.data(),
                                               static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return std::string();
        }
        if (length < buffer.size()) {
            std::u16string_view units(reinterpret_cast<const char16_t*>(buffer.data()), length);
            return corvel::from_utf16_strict(units);
        }
        buffer.resize(length);
    }
}

bool Win32ProcessEnvironment::is_elevated() const {
    SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators) ||
        administrators == nullptr) {
        return false;
    }
    BOOL is_member = FALSE;
    BOOL checked = CheckTokenMembership(nullptr, administrators, &is_member);
    FreeSid(administrators);
    return checked && is_member;
}

std::optional<std::string> Win32ProcessEnvironment::system_directory() const {
    wchar_t buffer[MAX_PATH + 1];
    UINT length = GetSystemDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        return std::nullopt;
    }
    return from_wide(std::wstring_view(buffer, length));
}

namespace {

// The OEM code page of the system locale, in which console programs write to a pipe. GetOEMCP
// does not tell it here: corvel's manifest makes UTF-8 this process's code page, and GetOEMCP
// then answers CP_UTF8.
UINT system_oem_code_page() {
    DWORD code_page = 0;
    if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTCODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&code_page),
                       sizeof(code_page) / sizeof(wchar_t)) == 0 ||
        code_page == 0) {
        return GetOEMCP();
    }
    return code_page;
}

}  // namespace

std::string Win32ProcessEnvironment::decode_oem(std::string_view bytes) const {
    if (bytes.empty()) {
        return {};
    }
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return decode_utf8_lossy(bytes);
    }
    UINT code_page = system_oem_code_page();
    int length = static_cast<int>(bytes.size());
    int units = MultiByteToWideChar(code_page, 0, bytes.data(), length, nullptr, 0);
    if (units <= 0) {
        // A code page Windows cannot convert from: the bytes are read as UTF-8 after all.
        return decode_utf8_lossy(bytes);
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    units = MultiByteToWideChar(code_page, 0, bytes.data(), length, wide.data(), units);
    if (units <= 0) {
        return decode_utf8_lossy(bytes);
    }
    wide.resize(static_cast<std::size_t>(units));
    return from_wide(wide);
}

}  // namespace corvel::win32
