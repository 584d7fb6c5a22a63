#include "environment/path_rewrite.h"

#include <algorithm>

#include "text/path_text.h"
#include "text/text.h"

namespace corvel {

namespace {

// The entries earlier versions put in Path for a root ending in a separator, where they differ
// from its bin folder today: the root as stored, then "\bin" ("D:\jdk22\\bin"), and for a drive
// root written with a slash, the root then "bin" ("J:/bin"). Only a later `use` can take them out.
void add_earlier_bin_entries(std::string_view root, std::vector<std::string>& bins) {
    if (!root.ends_with('\\') && !root.ends_with('/')) {
        return;
    }
    bins.push_back(std::string(root) + "\\bin");
    if (std::string_view drive_root = trim_trailing_separators(root);
        drive_root.size() == 3 && drive_root.ends_with('/')) {
        bins.push_back(std::string(drive_root) + "bin");
    }
}

}  // namespace

std::vector<std::string> registered_bin_dirs(const Config& config) {
    std::vector<std::string> bins;
    bins.reserve(config.versions.size());
    for (const auto& [alias, entry] : config.versions) {
        bins.push_back(jdk_bin_folder(entry.path));
        add_earlier_bin_entries(entry.path, bins);
    }
    return bins;
}

std::string rewrite_path(std::string_view current, std::string_view new_bin,
                         const std::vector<std::string>& registered_bins) {
    std::vector<std::string> dropped;
    dropped.reserve(registered_bins.size() + 1);
    for (const std::string& bin : registered_bins) {
        dropped.push_back(to_lower(bin));
    }
    dropped.push_back(to_lower(new_bin));

    std::string result(new_bin);
    result.reserve(current.size() + new_bin.size() + 1);
    std::size_t start = 0;
    while (start <= current.size()) {
        std::size_t end = current.find(';', start);
        if (end == std::string_view::npos) {
            end = current.size();
        }
        std::string_view piece = trim_whitespace(current.substr(start, end - start));
        if (!piece.empty() &&
            std::find(dropped.begin(), dropped.end(), to_lower(piece)) == dropped.end()) {
            result += ';';
            result += piece;
        }
        start = end + 1;
    }
    return result;
}

}  // namespace corvel
