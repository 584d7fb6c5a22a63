#include "config/config.h"

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <utility>

#include "config/config_format.h"
#include "text/path_text.h"
#include "text/text.h"

// The life of config.json on disk: where it lives, loading it, and replacing it whole while
// keeping a damaged one.

namespace corvel {

namespace {

// A replace refused because another program holds config.json for a moment (a virus scanner,
// an editor, a second corvel reading it) is tried again this many times, this far apart.
constexpr int k_replace_attempts = 10;
constexpr int k_replace_pause_ms = 60;
constexpr std::int32_t k_error_access_denied = 5;
constexpr std::int32_t k_error_file_not_found = 2;
constexpr std::int32_t k_error_path_not_found = 3;
constexpr std::int32_t k_error_sharing_violation = 32;

// Preserved copies of damaged files are numbered; the cap only guards against a file system
// that claims every name exists.
constexpr int k_max_preserved_copies = 10000;

CoreError config_error(std::string_view what, const IoError& error) {
    return CoreError::config(std::string(what) + error.to_text());
}

// Whether config.json is there. Only a file that is not there counts as absent; one that exists
// but cannot be examined (refused access, a broken share) may hold the user's JDKs, so it is an
// error rather than an empty configuration that the next save would replace.
CoreResult<bool> config_file_exists(const FileSystem& files, const std::string& path) {
    auto status = files.status(path);
    if (status) {
        return true;
    }
    if (status.error().code == k_error_file_not_found ||
        status.error().code == k_error_path_not_found) {
        return false;
    }
    return std::unexpected(config_error("Cannot read config file: ", status.error()));
}

// A name for the new content beside config.json that no other writer picks at the same time.
std::string temporary_name(const std::string& path) {
    static std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{
            device(), device(),
            static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937_64(seed);
    }();
    static constexpr char k_digits[] = "0123456789abcdef";
    std::uint64_t value = generator();
    std::string suffix;
    for (int i = 0; i < 16; ++i) {
        suffix += k_digits[value & 0xF];
        value >>= 4;
    }
    return path + ".tmp-" + suffix;
}

// Keeps the bytes of a config.json that does not load as a configuration beside it (as
// config.json.corrupt, or .corrupt-2, -3, ... when earlier copies exist) before it is replaced,
// so that a damaged file is never silently lost.
CoreResult<void> preserve_damaged_file(FileSystem& files, const std::string& path) {
    auto exists = config_file_exists(files, path);
    if (!exists) {
        return std::unexpected(std::move(exists.error()));
    }
    if (!*exists) {
        return {};
    }
    auto bytes = files.read_file(path);
    if (!bytes) {
        // What cannot be read cannot be kept, so it must not be overwritten either.
        return std::unexpected(config_error("Cannot read config file: ", bytes.error()));
    }
    if (is_valid_utf8(*bytes) && parse_config(*bytes)) {
        return {};
    }
    for (int number = 1; number <= k_max_preserved_copies; ++number) {
        std::string copy = path + ".corrupt";
        if (number > 1) {
            copy += "-" + std::to_string(number);
        }
        if (files.status(copy)) {
            continue;
        }
        if (auto written = files.write_file(copy, *bytes); !written) {
            (void)files.remove_file(copy);
            return std::unexpected(config_error("Cannot write config file: ", written.error()));
        }
        return {};
    }
    return std::unexpected(CoreError::config(
        "Cannot write config file: too many preserved copies of damaged config files"));
}

bool held_by_another_program(const IoError& error) {
    return error.code == k_error_sharing_violation || error.code == k_error_access_denied;
}

}  // namespace

CoreResult<std::string> config_dir(const Platform& platform) {
    std::optional<std::string> roaming = platform.known_folders.roaming_app_data();
    if (!roaming) {
        return std::unexpected(CoreError::config("Cannot locate user config directory"));
    }
    return join_path(*roaming, "corvel");
}

CoreResult<std::string> config_path(const Platform& platform) {
    auto folder = config_dir(platform);
    if (!folder) {
        return std::unexpected(std::move(folder.error()));
    }
    return join_path(*folder, "config.json");
}

CoreResult<bool> config_exists(const Platform& platform) {
    auto path = config_path(platform);
    if (!path) {
        return std::unexpected(std::move(path.error()));
    }
    return config_file_exists(platform.files, *path);
}

CoreResult<Config> load_config(const Platform& platform) {
    auto path = config_path(platform);
    if (!path) {
        return std::unexpected(std::move(path.error()));
    }
    auto exists = config_file_exists(platform.files, *path);
    if (!exists) {
        return std::unexpected(std::move(exists.error()));
    }
    if (!*exists) {
        return Config{};
    }
    auto text = platform.files.read_file(*path);
    if (!text) {
        return std::unexpected(config_error("Cannot read config file: ", text.error()));
    }
    if (!is_valid_utf8(*text)) {
        return std::unexpected(config_error("Cannot read config file: ", invalid_utf8_error()));
    }
    auto config = parse_config(*text);
    if (!config) {
        // The description may quote bytes of the file; none of them may drive the terminal.
        platform.console.write(StandardStream::Error,
                               "Warning: config file is corrupted (" +
                                   replace_control_characters(config.error()) +
                                   "), starting fresh.\n");
        platform.console.flush(StandardStream::Error);
        return Config{};
    }
    return std::move(*config);
}

CoreResult<void> save_config(const Platform& platform, const Config& config) {
    auto folder = config_dir(platform);
    if (!folder) {
        return std::unexpected(std::move(folder.error()));
    }
    std::string path = join_path(*folder, "config.json");
    FileSystem& files = platform.files;

    if (auto created = files.create_directories(*folder); !created) {
        return std::unexpected(config_error("Cannot create config dir: ", created.error()));
    }
    auto text = write_config_text(config);
    if (!text) {
        return std::unexpected(CoreError::config("Cannot serialize config: " + text.error()));
    }
    if (auto kept = preserve_damaged_file(files, path); !kept) {
        return std::unexpected(std::move(kept.error()));
    }

    // The new content goes to a file of its own first and then replaces config.json in one
    // step, so a crash or a full disk never leaves a half-written configuration behind.
    std::string temporary = temporary_name(path);
    if (auto written = files.write_file(temporary, *text); !written) {
        (void)files.remove_file(temporary);
        return std::unexpected(config_error("Cannot write config file: ", written.error()));
    }
    for (int attempt = 1;; ++attempt) {
        auto replaced = files.replace_file(temporary, path);
        if (replaced) {
            return {};
        }
        if (attempt < k_replace_attempts && held_by_another_program(replaced.error())) {
            files.pause(k_replace_pause_ms);
            continue;
        }
        (void)files.remove_file(temporary);
        return std::unexpected(config_error("Cannot write config file: ", replaced.error()));
    }
}

}  // namespace corvel
