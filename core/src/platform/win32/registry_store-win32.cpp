#include "platform/win32/win32_seams.h"

namespace corvel::win32 {

std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> Win32RegistryStore::open_key(
    RegistryRoot, std::string_view, std::uint32_t) {
    return std::unexpected(std::uint32_t{ERROR_CALL_NOT_IMPLEMENTED});
}
std::string Win32RegistryStore::error_message(std::uint32_t code) const {
    return system_message(code);
}
void Win32RegistryStore::broadcast_environment_change() {}

}  // namespace corvel::win32
