#include <array>
#include <string>

#include "discovery/discovery.h"
#include "text/text.h"

namespace corvel {

namespace {

// Majors guessed from folder names, highest first so that the newest match wins; 9 and 10 are
// left out on purpose, as is anything newer than 24.
constexpr std::array<int, 15> k_guessed_majors = {24, 23, 22, 21, 20, 19, 18, 17,
                                                  16, 15, 14, 13, 12, 11, 8};

// "1.8.0_392" names Java 8: the old scheme put the major in the second field.
std::string major_from_version(std::string_view version) {
    std::string_view first = version.substr(0, version.find('.'));
    if (first != "1") {
        return std::string(first);
    }
    if (first.size() == version.size()) {
        return "8";
    }
    std::string_view rest = version.substr(first.size() + 1);
    return std::string(rest.substr(0, rest.find('.')));
}

// The folder patterns a major number shows up in, e.g. "-17." or "jdk17".
bool folder_names_major(std::string_view lowered, std::string_view number) {
    const std::string n(number);
    const std::array<std::string, 6> patterns = {
        "-" + n + ".", "-" + n + "\\", "_" + n + ".", "jdk" + n, "jdk-" + n, "jdk " + n,
    };
    for (const std::string& pattern : patterns) {
        if (lowered.find(pattern) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string suggest_alias(std::string_view folder, const std::optional<std::string>& version) {
    if (version) {
        return "java" + major_from_version(*version);
    }
    const std::string lowered = to_lower(folder);
    for (int major : k_guessed_majors) {
        const std::string number = std::to_string(major);
        if (folder_names_major(lowered, number)) {
            return "java" + number;
        }
    }
    return "java";
}

}  // namespace corvel
