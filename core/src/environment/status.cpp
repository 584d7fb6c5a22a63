#include "environment/status.h"

#include <array>

#include "config/config.h"
#include "environment/environment_store.h"
#include "java/jdk_validation.h"
#include "java/probe.h"
#include "text/path_text.h"
#include "text/text.h"

namespace corvel {

std::optional<std::string> first_where_match(std::string_view standard_output) {
    std::string decoded = decode_utf8_lossy(standard_output);
    std::string_view line = decoded;
    if (std::size_t end = line.find('\n'); end != std::string_view::npos) {
        line = line.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
    }
    std::string_view match = trim_whitespace(line);
    if (match.empty()) {
        return std::nullopt;
    }
    return std::string(match);
}

std::string decode_where_output(const ProcessEnvironment& environment, std::string_view bytes) {
    if (is_valid_utf8(bytes)) {
        return std::string(bytes);
    }
    return environment.decode_oem(bytes);
}

std::optional<std::string> find_on_path(const Platform& platform, std::string_view program) {
    // A where.exe lying in the current folder would win a search by bare name, so where.exe is
    // only ever started from the system folder; without one there is nothing to run.
    std::optional<std::string> system_folder = platform.environment.system_directory();
    if (!system_folder || system_folder->empty()) {
        return std::nullopt;
    }
    // "$PATH:name" searches the folders of PATH alone; a bare name would search the current
    // folder first and report (and `current` then run) a java.exe lying there.
    std::array<std::string, 1> arguments{"$PATH:" + std::string(program)};
    std::optional<CapturedOutput> result =
        run_captured(platform, join_path(*system_folder, "where.exe"), arguments);
    if (!result || result->exit_code != 0) {
        return std::nullopt;
    }
    return first_where_match(decode_where_output(platform.environment, result->standard_output));
}

CoreResult<EnvironmentStatus> current_status(const Platform& platform) {
    CoreResult<Config> config = load_config(platform);
    if (!config) {
        return std::unexpected(std::move(config.error()));
    }
    EnvironmentStatus status;
    status.config_current = config->current;
    status.java_home = read_user_java_home(platform);
    status.java_home_valid =
        status.java_home.has_value() && validate_jdk_path(platform, *status.java_home).has_value();
    status.java_in_path = find_on_path(platform, "java");
    if (status.java_in_path) {
        status.version_output = java_version_output(platform, *status.java_in_path);
    }
    return status;
}

}  // namespace corvel
