#include "java/probe.h"

#include <array>

#include "text/path_text.h"
#include "text/text.h"

namespace corvel {

namespace {

constexpr std::string_view k_version_key = "JAVA_VERSION=";
constexpr std::string_view k_implementor_key = "IMPLEMENTOR=";

// The value with every leading and trailing quotation mark removed; spaces stay.
std::string_view strip_quotes(std::string_view value) {
    while (!value.empty() && value.front() == '"') {
        value.remove_prefix(1);
    }
    while (!value.empty() && value.back() == '"') {
        value.remove_suffix(1);
    }
    return value;
}

std::optional<CapturedOutput> run_version_switch(const Platform& platform,
                                                 std::string_view launcher) {
    const std::array<std::string, 1> arguments{"-version"};
    return run_captured(platform, launcher, arguments);
}

}  // namespace

std::optional<CapturedOutput> run_captured(const Platform& platform, std::string_view program,
                                           std::span<const std::string> arguments) {
    return platform.processes.run_captured(program, arguments, k_child_time_limit);
}

std::optional<JdkVersionInfo> parse_release_file(std::string_view text) {
    // Views into `text`; copied once at the end.
    std::optional<std::string_view> version;
    std::optional<std::string_view> vendor;
    for (std::string_view line : split_lines(text)) {
        if (line.starts_with(k_version_key)) {
            version = strip_quotes(line.substr(k_version_key.size()));
        } else if (line.starts_with(k_implementor_key)) {
            vendor = strip_quotes(line.substr(k_implementor_key.size()));
        }
    }
    if (!version) {
        return std::nullopt;
    }
    // A release file is anybody's text: control characters would reach the terminal, config.json
    // and the suggested alias.
    return JdkVersionInfo{remove_control_characters(*version),
                          remove_control_characters(vendor.value_or("Unknown"))};
}

std::optional<JdkVersionInfo> parse_version_banner(std::string_view standard_error) {
    // The raw bytes are searched directly: lossy decoding only replaces bytes >= 0x80 and never
    // swallows an ASCII byte, so line ends, quotation marks and "version" sit where they would
    // in the decoded text. Only the version itself is decoded.
    for (std::string_view line : split_lines(standard_error)) {
        if (line.find("version") == std::string_view::npos) {
            continue;
        }
        std::size_t open = line.find('"');
        if (open == std::string_view::npos) {
            continue;
        }
        std::size_t close = line.find('"', open + 1);
        if (close == std::string_view::npos) {
            continue;
        }
        std::string vendor = line.starts_with("openjdk") ? "OpenJDK"
                             : line.starts_with("java")  ? "Oracle"
                                                         : "Unknown";
        return JdkVersionInfo{
            remove_control_characters(decode_utf8_lossy(line.substr(open + 1, close - open - 1))),
            std::move(vendor)};
    }
    return std::nullopt;
}

std::optional<JdkVersionInfo> detect_version(const Platform& platform, std::string_view folder) {
    // Real release files are under 2 KB; a huge one, or a link to an endless device, is read no
    // further than this, and by whole lines: a line the bound cuts is dropped before decoding,
    // so that a cut character cannot spoil the lines before it and a cut value is never taken.
    // One byte more is read to see whether the bound cut anything, and a line that ends in it
    // is whole.
    constexpr std::size_t k_release_file_limit = 1 << 20;
    auto release =
        platform.files.read_file_prefix(join_path(folder, "release"), k_release_file_limit + 1);
    if (release && release->size() > k_release_file_limit) {
        std::size_t line_end = release->rfind('\n');
        release->resize(line_end == std::string::npos ? 0 : line_end + 1);
    }
    if (release && is_valid_utf8(*release)) {
        if (auto info = parse_release_file(*release)) {
            return info;
        }
    }

    std::string launcher = join_path(join_path(folder, "bin"), "java.exe");
    if (!platform.files.status(launcher)) {
        return std::nullopt;
    }
    auto captured = run_version_switch(platform, launcher);
    if (!captured) {
        return std::nullopt;
    }
    return parse_version_banner(captured->standard_error);
}

JdkEntry probe_jdk(const Platform& platform, std::string_view folder) {
    JdkEntry entry{std::string(trim_trailing_separators(folder)), std::nullopt, std::nullopt};
    if (auto info = detect_version(platform, folder)) {
        entry.detected_version = std::move(info->version);
        entry.vendor = std::move(info->vendor);
    }
    return entry;
}

std::optional<std::string> java_version_output(const Platform& platform,
                                               std::string_view launcher) {
    auto captured = run_version_switch(platform, launcher);
    if (!captured) {
        return std::nullopt;
    }
    std::string joined = decode_utf8_lossy(captured->standard_error);
    joined += decode_utf8_lossy(captured->standard_output);
    std::string_view trimmed = trim_whitespace(joined);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    return std::string(trimmed);
}

}  // namespace corvel
