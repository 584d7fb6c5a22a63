#include "text/path_text.h"

namespace corvel {

namespace {
bool is_separator(char c) {
    return c == '\\' || c == '/';
}

// Whether `path` starts with a drive letter, a colon and a separator ("C:\...").
bool has_drive_root(std::string_view path) {
    return path.size() >= 3 &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
           path[1] == ':' && is_separator(path[2]);
}
}  // namespace

std::string join_path(std::string_view left, std::string_view right) {
    std::string joined(left);
    if (!joined.empty() && !is_separator(joined.back())) {
        joined += '\\';
    }
    joined += right;
    return joined;
}

bool is_fully_qualified_path(std::string_view path) {
    if (has_drive_root(path)) {
        return true;
    }
    if (path.size() < 2 || !is_separator(path[0]) || !is_separator(path[1])) {
        return false;
    }
    std::size_t server_end = path.find_first_of("\\/", 2);
    if (server_end == std::string_view::npos || server_end == 2) {
        return false;
    }
    if (is_device_path(path)) {
        return false;
    }
    return server_end + 1 < path.size() && !is_separator(path[server_end + 1]);
}

bool is_device_path(std::string_view path) {
    return path.size() >= 4 && is_separator(path[0]) && is_separator(path[1]) &&
           (path[2] == '?' || path[2] == '.') && is_separator(path[3]);
}

std::string_view trim_trailing_separators(std::string_view path) {
    std::size_t keep = has_drive_root(path) ? 3 : 0;
    while (path.size() > keep && is_separator(path.back())) {
        path.remove_suffix(1);
    }
    return path;
}

std::string jdk_bin_folder(std::string_view root) {
    // Every separator goes, a drive root's too: "J:" then "\bin" is the root's bin folder, and a
    // root of separators only keeps the one before "bin".
    while (!root.empty() && is_separator(root.back())) {
        root.remove_suffix(1);
    }
    return std::string(root) + "\\bin";
}

}  // namespace corvel
