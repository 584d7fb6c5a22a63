#include "platform/win32/win32_seams.h"

namespace corvel::win32 {

std::optional<CapturedOutput> Win32ProcessRunner::run_captured(std::string_view,
                                                               std::span<const std::string>,
                                                               std::chrono::milliseconds) {
    return std::nullopt;
}

}  // namespace corvel::win32
