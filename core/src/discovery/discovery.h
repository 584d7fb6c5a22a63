#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace corvel {

// One JDK found on the machine.
struct DiscoveredJdk {
    std::string path;             // as found, letter case kept, trailing separators removed
    std::string suggested_alias;  // not necessarily unique
    std::optional<std::string> version;
    std::optional<std::string> vendor;
    bool already_configured = false;  // lower-cased path equals a registered entry's

    bool operator==(const DiscoveredJdk&) const = default;
};

// The install folders searched, with their immediate subfolders, in this order.
inline constexpr std::array<std::string_view, 14> k_common_install_dirs = {
    "C:\\Program Files\\Microsoft",
    "C:\\Program Files\\Java",
    "C:\\Program Files\\Eclipse Adoptium",
    "C:\\Program Files\\Eclipse Foundation",
    "C:\\Program Files\\Zulu",
    "C:\\Program Files\\Amazon Corretto",
    "C:\\Program Files\\BellSoft",
    "C:\\Program Files\\RedHat",
    "C:\\Program Files\\Semeru",
    "C:\\Program Files\\IBM",
    "C:\\Program Files (x86)\\Java",
    "C:\\Program Files (x86)\\Zulu",
    "C:\\Program Files\\GraalVM",
    "C:\\Program Files\\SapMachine",
};

// The JavaSoft keys under HKEY_LOCAL_MACHINE, read in this order.
inline constexpr std::array<std::string_view, 4> k_javasoft_keys = {
    "SOFTWARE\\JavaSoft\\JDK",
    "SOFTWARE\\JavaSoft\\Java Development Kit",
    "SOFTWARE\\WOW6432Node\\JavaSoft\\JDK",
    "SOFTWARE\\WOW6432Node\\JavaSoft\\Java Development Kit",
};

// The non-empty JavaHome values under the JavaSoft keys, in key and enumeration order.
std::vector<std::string> registry_jdk_homes(const Platform& platform);

// Every JDK found in the registry, the process JAVA_HOME and the common install folders,
// de-duplicated, validated, probed once each, new ones first, then by path bytes. Never fails.
std::vector<DiscoveredJdk> discover_jdks(const Platform& platform);

// "java" and a major version: from `version` when present, else guessed from the folder text.
// Never empty.
std::string suggest_alias(std::string_view folder, const std::optional<std::string>& version);

}  // namespace corvel
