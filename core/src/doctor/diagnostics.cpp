#include "doctor/diagnostics.h"

#include <algorithm>

#include "config/config.h"
#include "config/config_operations.h"
#include "environment/environment_store.h"
#include "environment/status.h"
#include "java/jdk_validation.h"
#include "text/text.h"

namespace corvel {

namespace {

DiagnosticResult ok(std::string name, std::string message) {
    return DiagnosticResult{std::move(name), std::move(message), std::nullopt, CheckStatus::Ok};
}

DiagnosticResult warning(std::string name, std::string message, std::string hint) {
    return DiagnosticResult{std::move(name), std::move(message), std::move(hint),
                            CheckStatus::Warning};
}

DiagnosticResult error(std::string name, std::string message, std::string hint) {
    return DiagnosticResult{std::move(name), std::move(message), std::move(hint),
                            CheckStatus::Error};
}

DiagnosticResult check_current(const Config& config) {
    if (!config.current) {
        return warning("Current Version", "No Java version is currently selected",
                       "Run 'corvel use <alias>' to activate a version");
    }
    const std::string& alias = *config.current;
    if (config.versions.contains(alias)) {
        return ok("Current Version", "Current alias '" + alias + "' exists in config");
    }
    return error("Current Version",
                 "Current alias '" + alias + "' is not present in the versions list",
                 "Run 'corvel use <alias>' with a valid alias");
}

DiagnosticResult check_java_home(const Platform& platform,
                                 const std::optional<std::string>& java_home) {
    if (!java_home) {
        return error("JAVA_HOME", "JAVA_HOME is not set in the user environment",
                     "Run 'corvel use <alias>' to set it");
    }
    if (validate_jdk_path(platform, *java_home)) {
        return ok("JAVA_HOME", "JAVA_HOME = " + *java_home);
    }
    return error("JAVA_HOME", "JAVA_HOME = " + *java_home + " (path is not a valid JDK)",
                 "Run 'corvel use <alias>' to set a valid path");
}

DiagnosticResult check_on_path(const Platform& platform, const std::string& program,
                               std::string hint) {
    std::string name = program + " in PATH";
    if (std::optional<std::string> location = find_on_path(platform, program)) {
        return ok(std::move(name), "Found: " + *location);
    }
    return warning(std::move(name), program + " is not found in the current terminal's PATH",
                   std::move(hint));
}

void check_registered_jdks(const Platform& platform, const Config& config,
                           std::vector<DiagnosticResult>& results) {
    std::vector<const std::string*> aliases;
    aliases.reserve(config.versions.size());
    for (const auto& [alias, entry] : config.versions) {
        aliases.push_back(&alias);
    }
    // std::string compares its bytes as unsigned values, which is the raw byte order.
    std::ranges::sort(aliases, [](const std::string* a, const std::string* b) { return *a < *b; });
    for (const std::string* alias : aliases) {
        const JdkEntry& entry = config.versions.at(*alias);
        std::string name = "JDK '" + *alias + "'";
        CoreResult<void> valid = validate_jdk_path(platform, entry.path);
        if (valid) {
            results.push_back(ok(std::move(name), "Path valid: " + entry.path));
        } else {
            results.push_back(error(std::move(name), valid.error().to_text(),
                                    "Run '" + alias_command("corvel remove", *alias) +
                                        "' then re-add with a correct path"));
        }
    }
}

}  // namespace

std::vector<DiagnosticResult> run_diagnostics(const Platform& platform) {
    std::vector<DiagnosticResult> results;
    CoreResult<Config> loaded = load_config(platform);
    if (!loaded) {
        results.push_back(error("Config", "Cannot load config: " + loaded.error().to_text(),
                                "Delete or recreate the config file at "
                                "%APPDATA%\\corvel\\config.json"));
        return results;
    }
    const Config& config = *loaded;
    results.push_back(ok("Config", "Config file loaded successfully"));
    results.push_back(check_current(config));

    // Read once: the JAVA_HOME check and the consistency check judge the same value.
    std::optional<std::string> java_home = read_user_java_home(platform);
    results.push_back(check_java_home(platform, java_home));

    results.push_back(check_on_path(platform, "java",
                                    "Open a new terminal after running 'corvel use' \u2014 "
                                    "Windows env changes don't affect already-open terminals"));
    results.push_back(
        check_on_path(platform, "javac", "Open a new terminal after running 'corvel use'"));

    check_registered_jdks(platform, config, results);

    if (config.current && java_home) {
        auto selected = config.versions.find(*config.current);
        if (selected != config.versions.end() &&
            to_lower(selected->second.path) != to_lower(*java_home)) {
            const std::string& alias = *config.current;
            results.push_back(
                warning("JAVA_HOME Consistency",
                        "JAVA_HOME (" + *java_home + ") does not match selected alias '" + alias +
                            "' path (" + selected->second.path + ")",
                        "Run '" + alias_command("corvel use", alias) + "' to resync"));
        }
    }
    return results;
}

}  // namespace corvel
