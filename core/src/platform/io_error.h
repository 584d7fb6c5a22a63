#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvel {

// An operating-system I/O failure as the platform layer reports it.
struct IoError {
    std::string message;  // the system's message text, trailing white space removed
    std::optional<std::int32_t>
        code;  // the OS error code; absent for failures of our own (bad UTF-8)

    // "{message} (os error {code})" ("(os error {code})" for an empty message), or the message
    // alone when there is no code.
    std::string to_text() const;
};

// "{message} (os error {code})", or "(os error {code})" when the system has no message text.
std::string format_os_error(std::string_view message, std::int64_t code);

// The I/O error for text that is not valid UTF-8.
IoError invalid_utf8_error();

}  // namespace corvel
