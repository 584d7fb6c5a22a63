#include "platform/win32/win32_seams.h"

#include <shlobj.h>

namespace corvel::win32 {

namespace {

// FOLDERID_RoamingAppData, spelled out so that no GUID library has to be linked.
constexpr GUID k_roaming_app_data = {
    0x3EB685DB, 0x65F9, 0x4CF6, {0xA0, 0x3A, 0xE3, 0xEF, 0x65, 0x72, 0x9F, 0x3D}};

using GetKnownFolderPath = HRESULT WINAPI(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
using FreeTaskMemory = void WINAPI(LPVOID);

// Frees the shell's string with CoTaskMemFree whatever the lookup returned.
class ShellString {
public:
    explicit ShellString(FreeTaskMemory* free_memory) : m_free(free_memory) {}
    ~ShellString() {
        m_free(m_text);
    }
    ShellString(const ShellString&) = delete;
    ShellString& operator=(const ShellString&) = delete;

    PWSTR* address() {
        return &m_text;
    }
    PCWSTR get() const {
        return m_text;
    }

private:
    FreeTaskMemory* m_free;
    PWSTR m_text = nullptr;
};

}  // namespace

std::optional<std::string> Win32KnownFolders::roaming_app_data() const {
    if (m_roaming_app_data) {
        return m_roaming_app_data;
    }
    static auto* const get_path =
        system_function<GetKnownFolderPath>(L"shell32.dll", "SHGetKnownFolderPath");
    static auto* const free_memory = system_function<FreeTaskMemory>(L"ole32.dll", "CoTaskMemFree");
    if (get_path == nullptr || free_memory == nullptr) {
        return std::nullopt;
    }
    ShellString path(free_memory);
    HRESULT result = get_path(k_roaming_app_data, 0, nullptr, path.address());
    if (FAILED(result) || path.get() == nullptr) {
        return std::nullopt;
    }
    m_roaming_app_data = from_wide(path.get());
    return m_roaming_app_data;
}

}  // namespace corvel::win32
