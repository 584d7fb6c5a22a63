#include "platform/win32/win32_seams.h"

namespace corvel::win32 {

std::optional<std::string> Win32KnownFolders::roaming_app_data() const {
    return std::nullopt;
}

}  // namespace corvel::win32
