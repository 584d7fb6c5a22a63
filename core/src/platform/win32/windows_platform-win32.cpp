#include "platform/windows_platform.h"

#include "platform/win32/win32_seams.h"
#include "text/text.h"

namespace corvel {

namespace win32 {

std::wstring to_wide(std::string_view text) {
    std::u16string units = corvel::to_utf16(text);
    return std::wstring(units.begin(), units.end());
}

std::string from_wide(std::wstring_view text) {
    return from_utf16_lossy(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

std::string system_message(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string message;
    if (length > 0 && buffer != nullptr) {
        message = from_wide(std::wstring_view(buffer, length));
    }
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    return std::string(trim_whitespace(message));
}

IoError io_error(DWORD code) {
    return IoError{system_message(code), static_cast<std::int32_t>(code)};
}

}  // namespace win32

struct WindowsPlatform::Parts {
    win32::Win32FileSystem files;
    win32::Win32RegistryStore registry;
    win32::Win32ProcessRunner processes;
    win32::Win32KnownFolders known_folders;
    win32::Win32ProcessEnvironment environment;
    win32::Win32Console console;
};

WindowsPlatform::WindowsPlatform()
    : m_parts(std::make_unique<Parts>()),
      m_platform(std::make_unique<Platform>(Platform{m_parts->files, m_parts->registry,
                                                     m_parts->processes, m_parts->known_folders,
                                                     m_parts->environment, m_parts->console})) {}

WindowsPlatform::~WindowsPlatform() = default;

Platform& WindowsPlatform::platform() {
    return *m_platform;
}

}  // namespace corvel
