#pragma once

// In-memory implementations of every platform seam. Each records what it was asked so that
// tests can check order of effects, and each can be told to fail.

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace corvel::fakes {

// A case-insensitive tree of files, folders and links with Windows path rules ("\" or "/").
class MemoryFileSystem : public FileSystem {
public:
    // Decides whether an operation fails: given the operation name ("status", "read", "write",
    // "mkdir", "replace", "remove", "list", "lock") and its path, returns the error to report.
    using FailureHook =
        std::function<std::optional<IoError>(std::string_view op, std::string_view path)>;

    // Creates a file (and its missing parent folders) with `content`.
    void add_file(std::string_view path, std::string_view content = {});
    // Creates a folder and its missing parents.
    void add_directory(std::string_view path);
    // Creates a link at `path` that resolves to `target` (a junction or symbolic link).
    void add_link(std::string_view path, std::string_view target);
    // Removes a file, folder or link and everything below it.
    void erase(std::string_view path);

    bool exists(std::string_view path) const;
    // The content of a file; nothing when there is no such file.
    std::optional<std::string> content(std::string_view path) const;
    // Paths of all files below `folder`, as added (sorted).
    std::vector<std::string> files_below(std::string_view folder) const;

    void set_failure_hook(FailureHook hook) {
        m_failure_hook = std::move(hook);
    }
    // Every operation asked, as "op path" (replace: "replace from -> to").
    const std::vector<std::string>& log() const {
        return m_log;
    }
    // The waits asked through pause().
    const std::vector<int>& pauses() const {
        return m_pauses;
    }
    // Number of locks currently held.
    int locks_held() const {
        return m_locks_held;
    }
    // Another process holds every lock: lock_exclusive gives up after its time limit.
    void hold_locks_elsewhere() {
        m_locks_held_elsewhere = true;
    }
    // The time limit of the last lock_exclusive call.
    std::chrono::milliseconds last_lock_time_limit() const {
        return m_last_lock_time_limit;
    }

    std::expected<FileStatus, IoError> status(std::string_view path) const override;
    std::expected<std::string, IoError> read_file_prefix(std::string_view path,
                                                         std::size_t limit) const override;
    std::expected<void, IoError> write_file(std::string_view path,
                                            std::string_view content) override;
    std::expected<void, IoError> create_directories(std::string_view path) override;
    std::expected<void, IoError> replace_file(std::string_view from, std::string_view to) override;
    std::expected<void, IoError> remove_file(std::string_view path) override;
    std::expected<std::vector<std::string>, IoError> list_directory(
        std::string_view path) const override;
    std::expected<std::unique_ptr<FileLock>, IoError> lock_exclusive(
        std::string_view path, std::chrono::milliseconds time_limit) override;
    void pause(int milliseconds) override;

private:
    enum class NodeKind { File, Directory, Link };
    struct Node {
        NodeKind kind = NodeKind::File;
        std::string display_path;  // as given, for listings
        std::string content;       // file content or link target
    };

    static std::string key_of(std::string_view path);
    static std::string parent_key(const std::string& key);
    std::optional<IoError> injected(std::string_view op, std::string_view path) const;
    // Follows links; nothing when the path or a link target is missing.
    const Node* resolve(std::string_view path, std::string* resolved_key = nullptr) const;

    std::map<std::string, Node> m_nodes;
    FailureHook m_failure_hook;
    mutable std::vector<std::string> m_log;
    std::vector<int> m_pauses;
    int m_locks_held = 0;
    bool m_locks_held_elsewhere = false;
    std::chrono::milliseconds m_last_lock_time_limit{0};
};

// A registry of keys and typed values; key paths and value names compare without regard to
// case, as on Windows.
class MemoryRegistry : public RegistryStore {
public:
    // A result code the fake has no message text for (error_message gives the empty text).
    static constexpr std::uint32_t k_code_without_message = 13000;

    // Stores a value, creating the key (and its parents) if needed.
    void set(RegistryRoot root, std::string_view key, std::string_view name, std::uint32_t type,
             std::vector<std::uint8_t> bytes);
    // Stores a text value of `type` encoded as UTF-16LE with one terminating NUL.
    void set_text(RegistryRoot root, std::string_view key, std::string_view name,
                  std::string_view text, std::uint32_t type = k_reg_sz);
    void add_key(RegistryRoot root, std::string_view key);
    std::optional<RegistryValue> get(RegistryRoot root, std::string_view key,
                                     std::string_view name) const;
    // A stored text value decoded from UTF-16LE without its terminating NULs.
    std::optional<std::string> get_text(RegistryRoot root, std::string_view key,
                                        std::string_view name) const;

    // Opening `key` with write access fails with `code` (5: no administrator rights).
    void deny_write(RegistryRoot root, std::string_view key, std::uint32_t code = 5);
    // Opening `key` in any mode fails with `code`.
    void deny_open(RegistryRoot root, std::string_view key, std::uint32_t code = 5);
    // Writing or deleting the value `name` (any key) fails with `code`.
    void fail_set(std::string_view name, std::uint32_t code);
    // Reading the value `name` (any key) fails with `code`.
    void fail_query(std::string_view name, std::uint32_t code);
    // Runs `action` before each write or deletion of the value `name` (any key): another
    // program changing the registry in between.
    void before_write(std::string_view name, std::function<void()> action);

    // Every operation asked, in order: "open HKCU\Environment r", "query HKCU\Environment\Path",
    // "set HKLM\...\Path 2", "delete HKCU\Environment\JAVA_HOME", "broadcast", ...
    const std::vector<std::string>& log() const {
        return m_log;
    }
    int broadcasts() const {
        return m_broadcasts;
    }

    std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_key(
        RegistryRoot root, std::string_view subkey, std::uint32_t access) override;
    std::string error_message(std::uint32_t code) const override;
    void broadcast_environment_change() override;

private:
    friend class MemoryRegistryKey;
    struct StoredValue {
        std::string name;
        RegistryValue value;
    };
    struct Key {
        std::string display_path;
        std::map<std::string, StoredValue> values;  // by lower-case name
        std::vector<std::string> subkeys;           // display names in creation order
    };

    static std::string key_of(RegistryRoot root, std::string_view path);
    Key& ensure_key(RegistryRoot root, std::string_view path);

    std::map<std::string, Key> m_keys;
    std::map<std::string, std::uint32_t> m_denied_write;
    std::map<std::string, std::uint32_t> m_denied_open;
    std::map<std::string, std::uint32_t> m_failing_set;
    std::map<std::string, std::uint32_t> m_failing_query;
    std::map<std::string, std::function<void()>> m_before_write;
    std::vector<std::string> m_log;
    int m_broadcasts = 0;
};

// Answers child-process requests from a script keyed by program path (case-insensitive).
class FakeProcessRunner : public ProcessRunner {
public:
    struct Call {
        std::string program;
        std::vector<std::string> arguments;
        std::chrono::milliseconds time_limit{0};
    };

    // `program` answers with `output`; nothing means it cannot be started.
    void script(std::string_view program, std::optional<CapturedOutput> output);
    // `program` prints `standard_error` and `standard_output` and exits with `exit_code`.
    void script_output(std::string_view program, std::string standard_error,
                       std::string standard_output = {}, std::uint32_t exit_code = 0);
    // `program` answers with `output` when called with exactly `arguments` (where.exe java
    // and where.exe javac answer differently); takes precedence over script().
    void script_call(std::string_view program, std::vector<std::string> arguments,
                     std::optional<CapturedOutput> output);

    const std::vector<Call>& calls() const {
        return m_calls;
    }

    std::optional<CapturedOutput> run_captured(std::string_view program,
                                               std::span<const std::string> arguments,
                                               std::chrono::milliseconds time_limit) override;

private:
    std::map<std::string, std::optional<CapturedOutput>> m_script;
    std::map<std::pair<std::string, std::vector<std::string>>, std::optional<CapturedOutput>>
        m_call_script;
    std::vector<Call> m_calls;
};

class FakeKnownFolders : public KnownFolders {
public:
    std::optional<std::string> app_data = "C:\\Users\\user\\AppData\\Roaming";

    std::optional<std::string> roaming_app_data() const override {
        return app_data;
    }
};

class FakeProcessEnvironment : public ProcessEnvironment {
public:
    std::map<std::string, std::string, std::less<>> variables;
    bool elevated = true;
    std::optional<std::string> system_folder = "C:\\windows\\system32";

    std::optional<std::string> variable(std::string_view name) const override;
    bool is_elevated() const override {
        return elevated;
    }
    std::optional<std::string> system_directory() const override {
        return system_folder;
    }
    // The fake's OEM code page is ISO 8859-1: each byte is the code point of its value.
    std::string decode_oem(std::string_view bytes) const override;
};

// Captures both streams; standard input is served from `input`.
class CapturingConsole : public Console {
public:
    std::string output;              // everything written to standard output
    std::string error;               // everything written to standard error
    std::size_t output_flushed = 0;  // how much of `output` had been flushed at the last flush
    bool output_is_terminal = false;
    bool error_is_terminal = false;
    bool virtual_terminal_enabled = false;
    std::deque<std::expected<std::string, std::string>> input;  // empty: end of input
    // For each read_line call, how much of `output` had been flushed when it was made.
    std::vector<std::size_t> flushed_at_read;
    // When set, writing the stream fails with it and nothing written to it is kept.
    std::optional<IoError> output_failure;
    std::optional<IoError> error_failure;

    void write(StandardStream stream, std::string_view text) override;
    void flush(StandardStream stream) override;
    bool is_terminal(StandardStream stream) const override;
    void enable_virtual_terminal() override {
        virtual_terminal_enabled = true;
    }
    std::optional<IoError> write_failure(StandardStream stream) const override;
    std::expected<std::string, std::string> read_line(std::size_t limit) override;
};

// One of each fake, wired into a Platform.
struct FakePlatform {
    MemoryFileSystem files;
    MemoryRegistry registry;
    FakeProcessRunner processes;
    FakeKnownFolders known_folders;
    FakeProcessEnvironment environment;
    CapturingConsole console;
    Platform platform{files, registry, processes, known_folders, environment, console};

    // The config.json path under the fake roaming folder.
    static constexpr std::string_view k_config_path =
        "C:\\Users\\user\\AppData\\Roaming\\corvel\\config.json";

    // Lays out a full JDK at `root`: bin\java.exe, bin\javac.exe and, when given, a release file.
    void add_jdk(std::string_view root, std::optional<std::string> release = std::nullopt);
};

// `text` as a JSON string literal for hand-written config.json content (quotes and
// backslashes escaped; meant for test data without control characters).
std::string json_string(std::string_view text);

// UTF-16LE bytes of `text` plus one NUL unit, as the registry stores text.
std::vector<std::uint8_t> registry_text_bytes(std::string_view text);

}  // namespace corvel::fakes
