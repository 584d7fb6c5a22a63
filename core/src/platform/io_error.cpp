#include "platform/io_error.h"

namespace corvel {

std::string IoError::to_text() const {
    if (!code) {
        return message;
    }
    return format_os_error(message, *code);
}

std::string format_os_error(std::string_view message, std::int64_t code) {
    std::string text(message);
    // A code the system has no text for gives "(os error N)" without a space in front.
    if (!text.empty()) {
        text += ' ';
    }
    return text + "(os error " + std::to_string(code) + ")";
}

IoError invalid_utf8_error() {
    return IoError{"stream did not contain valid UTF-8", std::nullopt};
}

}  // namespace corvel
