#include "discovery/discovery.h"

#include <algorithm>
#include <map>
#include <unordered_set>

#include "config/config.h"
#include "environment/environment_store.h"
#include "java/jdk_validation.h"
#include "java/probe.h"
#include "text/path_text.h"
#include "text/text.h"

namespace corvel {

namespace {

// A key whose enumeration fails at every index (deleted while we read it, a broken handle)
// would otherwise be walked through all 2^32 indexes; this many failures in a row end it.
constexpr std::uint32_t k_max_failed_enumerations = 1024;

// Remembers the metadata answers of one discovery run. A folder found by the listing is
// examined once to see that it is a folder, and validation and the launcher check then ask
// about the same paths again; on Windows every question is a system call. Paths are compared
// exactly, and everything else passes straight through.
class StatusMemo : public FileSystem {
public:
    explicit StatusMemo(FileSystem& inner) : m_inner(inner) {}

    std::expected<FileStatus, IoError> status(std::string_view path) const override {
        auto known = m_answers.find(path);
        if (known != m_answers.end()) {
            return known->second;
        }
        auto answer = m_inner.status(path);
        m_answers.emplace(std::string(path), answer);
        return answer;
    }
    std::expected<std::string, IoError> read_file_prefix(std::string_view path,
                                                         std::size_t limit) const override {
        return m_inner.read_file_prefix(path, limit);
    }
    std::expected<void, IoError> write_file(std::string_view path,
                                            std::string_view content) override {
        m_answers.clear();
        return m_inner.write_file(path, content);
    }
    std::expected<void, IoError> create_directories(std::string_view path) override {
        m_answers.clear();
        return m_inner.create_directories(path);
    }
    std::expected<void, IoError> replace_file(std::string_view from, std::string_view to) override {
        m_answers.clear();
        return m_inner.replace_file(from, to);
    }
    std::expected<void, IoError> remove_file(std::string_view path) override {
        m_answers.clear();
        return m_inner.remove_file(path);
    }
    std::expected<std::vector<std::string>, IoError> list_directory(
        std::string_view path) const override {
        return m_inner.list_directory(path);
    }
    std::expected<std::unique_ptr<FileLock>, IoError> lock_exclusive(
        std::string_view path, std::chrono::milliseconds time_limit) override {
        return m_inner.lock_exclusive(path, time_limit);
    }
    void pause(int milliseconds) override {
        m_inner.pause(milliseconds);
    }

private:
    FileSystem& m_inner;
    mutable std::map<std::string, std::expected<FileStatus, IoError>, std::less<>> m_answers;
};

// The lower-cased paths of every registered JDK, as stored; an unreadable configuration
// registers nothing.
std::unordered_set<std::string> configured_keys(const Platform& platform) {
    std::unordered_set<std::string> keys;
    if (auto config = load_config(platform)) {
        for (const auto& [alias, entry] : config->versions) {
            keys.insert(to_lower(entry.path));
        }
    }
    return keys;
}

// Turns candidate folders into records: the first spelling of a folder wins, and only folders
// that pass validation are probed, once each.
class CandidateFilter {
public:
    CandidateFilter(const Platform& platform, std::unordered_set<std::string> configured)
        : m_platform(platform), m_configured(std::move(configured)) {}

    void consider(std::string_view candidate) {
        std::string path(trim_trailing_separators(candidate));
        std::string key = to_lower(path);
        // Marked before validation: a later spelling of a rejected folder is not tried again.
        if (!m_seen.insert(key).second) {
            return;
        }
        if (!validate_jdk_path(m_platform, path)) {
            return;
        }
        DiscoveredJdk found;
        if (auto info = detect_version(m_platform, path)) {
            found.version = std::move(info->version);
            found.vendor = std::move(info->vendor);
        }
        found.suggested_alias = suggest_alias(path, found.version);
        found.already_configured = m_configured.contains(key);
        found.path = std::move(path);
        m_found.push_back(std::move(found));
    }

    std::vector<DiscoveredJdk> take() {
        return std::move(m_found);
    }

private:
    const Platform& m_platform;
    std::unordered_set<std::string> m_configured;
    std::unordered_set<std::string> m_seen;
    std::vector<DiscoveredJdk> m_found;
};

}  // namespace

std::vector<std::string> registry_jdk_homes(const Platform& platform) {
    std::vector<std::string> homes;
    for (std::string_view key_name : k_javasoft_keys) {
        auto key = platform.registry.open_key(RegistryRoot::LocalMachine, key_name, k_key_read);
        if (!key) {
            continue;
        }
        std::uint32_t failures_in_a_row = 0;
        for (std::uint32_t index = 0; failures_in_a_row < k_max_failed_enumerations; ++index) {
            auto name = (*key)->enum_subkey(index);
            if (!name) {
                if (name.error() == k_error_no_more_items) {
                    break;
                }
                // A name too long for the buffer or not valid UTF-16 costs only its own index.
                ++failures_in_a_row;
                continue;
            }
            failures_in_a_row = 0;
            auto subkey = (*key)->open_subkey(*name, k_key_read);
            if (!subkey) {
                continue;
            }
            auto home = read_string_value(**subkey, "JavaHome");
            if (home && !home->empty()) {
                homes.push_back(std::move(*home));
            }
        }
    }
    return homes;
}

std::vector<DiscoveredJdk> discover_jdks(const Platform& platform) {
    auto configured = configured_keys(platform);

    StatusMemo files(platform.files);
    const Platform probing{files,
                           platform.registry,
                           platform.processes,
                           platform.known_folders,
                           platform.environment,
                           platform.console};
    CandidateFilter filter(probing, std::move(configured));

    for (const std::string& home : registry_jdk_homes(platform)) {
        filter.consider(home);
    }
    if (auto java_home = platform.environment.variable("JAVA_HOME");
        java_home && !java_home->empty()) {
        filter.consider(*java_home);
    }
    for (std::string_view folder : k_common_install_dirs) {
        if (!files.status(folder)) {
            continue;
        }
        filter.consider(folder);
        auto names = files.list_directory(folder);
        if (!names) {
            continue;
        }
        for (const std::string& name : *names) {
            std::string entry = std::string(folder) + "\\" + name;
            auto entry_status = files.status(entry);
            if (entry_status && entry_status->kind == FileKind::Directory) {
                filter.consider(entry);
            }
        }
    }

    std::vector<DiscoveredJdk> found = filter.take();
    std::stable_sort(found.begin(), found.end(),
                     [](const DiscoveredJdk& left, const DiscoveredJdk& right) {
                         if (left.already_configured != right.already_configured) {
                             return !left.already_configured;
                         }
                         return left.path < right.path;
                     });
    return found;
}

}  // namespace corvel
