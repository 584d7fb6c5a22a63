#include "platform/io_error.h"

namespace corvel {

std::string IoError::to_text() const {
    if (!code) {
        return message;
    }
    return message + " (os error " + std::to_string(*code) + ")";
}

IoError invalid_utf8_error() {
    return IoError{"stream did not contain valid UTF-8", std::nullopt};
}

}  // namespace corvel
