#include "win32_support.h"

#include "harness.h"

namespace corvel::e2e::detail {

std::wstring widen(std::string_view utf8) {
    if (utf8.empty()) {
        return {};
    }
    int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring units(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), units.data(), size);
    return units;
}

std::string narrow(std::wstring_view units) {
    if (units.empty()) {
        return {};
    }
    int size = WideCharToMultiByte(CP_UTF8, 0, units.data(), static_cast<int>(units.size()),
                                   nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, units.data(), static_cast<int>(units.size()), bytes.data(),
                        size, nullptr, nullptr);
    return bytes;
}

void fail(std::string_view what, DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string text = length > 0 ? narrow(std::wstring_view(buffer, length)) : std::string();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    throw HarnessError(std::string(what) + ": Windows error " + std::to_string(code) +
                       (text.empty() ? "" : " (" + text + ")"));
}

void fail_last(std::string_view what) {
    fail(what, GetLastError());
}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        Handle old(m_handle);
        m_handle = other.release();
    }
    return *this;
}

Handle::~Handle() {
    if (valid()) {
        CloseHandle(m_handle);
    }
}

HANDLE Handle::release() {
    HANDLE handle = m_handle;
    m_handle = nullptr;
    return handle;
}

}  // namespace corvel::e2e::detail
