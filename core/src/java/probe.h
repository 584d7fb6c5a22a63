#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "config/config.h"
#include "platform/platform.h"

namespace corvel {

// How long a child process (java -version, where) may run before it is ended and treated as
// one that could not be started.
inline constexpr std::chrono::milliseconds k_child_time_limit{10'000};

// Version and vendor found by probing; both or nothing.
struct JdkVersionInfo {
    std::string version;
    std::string vendor;

    bool operator==(const JdkVersionInfo&) const = default;
};

// Runs a child with captured output under k_child_time_limit; nothing when it could not be
// started or ran too long.
std::optional<CapturedOutput> run_captured(const Platform& platform, std::string_view program,
                                           std::span<const std::string> arguments);

// Version and vendor from the JAVA_VERSION and IMPLEMENTOR lines of a release file's text,
// without control characters; nothing when it has no JAVA_VERSION line.
std::optional<JdkVersionInfo> parse_release_file(std::string_view text);

// Version and vendor from the standard error of `java -version` (raw bytes), without control
// characters; nothing when no line names a quoted version.
std::optional<JdkVersionInfo> parse_version_banner(std::string_view standard_error);

// The release file of `folder` first, its bin\java.exe -version second; never fails.
std::optional<JdkVersionInfo> detect_version(const Platform& platform, std::string_view folder);

// The entry `add` and `scan` store: the folder without trailing separators and what
// detect_version found.
JdkEntry probe_jdk(const Platform& platform, std::string_view folder);

// What `launcher -version` printed (standard error, then standard output), trimmed; nothing
// when it could not be run or printed nothing.
std::optional<std::string> java_version_output(const Platform& platform, std::string_view launcher);

}  // namespace corvel
