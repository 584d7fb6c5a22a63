#include "platform/win32/win32_seams.h"

namespace corvel::win32 {

namespace {
IoError not_implemented() {
    return io_error(ERROR_CALL_NOT_IMPLEMENTED);
}
}  // namespace

std::expected<FileStatus, IoError> Win32FileSystem::status(std::string_view) const {
    return std::unexpected(not_implemented());
}
std::expected<std::string, IoError> Win32FileSystem::read_file(std::string_view) const {
    return std::unexpected(not_implemented());
}
std::expected<void, IoError> Win32FileSystem::write_file(std::string_view, std::string_view) {
    return std::unexpected(not_implemented());
}
std::expected<void, IoError> Win32FileSystem::create_directories(std::string_view) {
    return std::unexpected(not_implemented());
}
std::expected<void, IoError> Win32FileSystem::replace_file(std::string_view, std::string_view) {
    return std::unexpected(not_implemented());
}
std::expected<void, IoError> Win32FileSystem::remove_file(std::string_view) {
    return std::unexpected(not_implemented());
}
std::expected<std::vector<std::string>, IoError> Win32FileSystem::list_directory(
    std::string_view) const {
    return std::unexpected(not_implemented());
}
std::expected<std::unique_ptr<FileLock>, IoError> Win32FileSystem::lock_exclusive(
    std::string_view) {
    return std::unexpected(not_implemented());
}
void Win32FileSystem::pause(int milliseconds) {
    Sleep(static_cast<DWORD>(milliseconds));
}

}  // namespace corvel::win32
