#include "java/jdk_validation.h"

#include <string>

#include "text/path_text.h"

namespace corvel {

CoreResult<void> validate_jdk_path(const Platform& platform, std::string_view path) {
    const FileSystem& files = platform.files;
    auto status = files.status(path);
    if (!status) {
        return std::unexpected(
            CoreError::invalid_jdk_path("Path does not exist: " + std::string(path)));
    }
    if (status->kind != FileKind::Directory) {
        return std::unexpected(
            CoreError::invalid_jdk_path("Path is not a directory: " + std::string(path)));
    }
    std::string bin = join_path(path, "bin");
    if (!files.status(join_path(bin, "java.exe"))) {
        return std::unexpected(
            CoreError::invalid_jdk_path("bin\\java.exe not found in: " + std::string(path)));
    }
    if (!files.status(join_path(bin, "javac.exe"))) {
        return std::unexpected(
            CoreError::invalid_jdk_path("bin\\javac.exe not found in: " + std::string(path) +
                                        " (this looks like a JRE, not a full JDK)"));
    }
    return {};
}

}  // namespace corvel
