#include "text/path_text.h"

namespace corvel {

namespace {
bool is_separator(char c) {
    return c == '\\' || c == '/';
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

std::string_view trim_trailing_separators(std::string_view path) {
    while (!path.empty() && is_separator(path.back())) {
        path.remove_suffix(1);
    }
    return path;
}

}  // namespace corvel
