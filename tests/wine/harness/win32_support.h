#pragma once

// Internal to the harness: <windows.h>, text conversion and error reporting.

#include <windows.h>

#include <string>
#include <string_view>

namespace corvel::e2e::detail {

// UTF-8 to UTF-16; invalid input becomes U+FFFD.
std::wstring widen(std::string_view utf8);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string narrow(std::wstring_view units);

// Throws HarnessError naming `what` and the text of the Windows error `code`.
[[noreturn]] void fail(std::string_view what, DWORD code);
// fail() with GetLastError().
[[noreturn]] void fail_last(std::string_view what);

// Owns a HANDLE (INVALID_HANDLE_VALUE and null both mean none).
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    Handle(Handle&& other) noexcept : m_handle(other.release()) {}
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle();

    HANDLE get() const {
        return m_handle;
    }
    bool valid() const {
        return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE;
    }
    HANDLE release();

private:
    HANDLE m_handle = nullptr;
};

}  // namespace corvel::e2e::detail
