#include "fake_platform.h"

#include <algorithm>
#include <memory>

#include "text/text.h"

namespace corvel::fakes {

namespace {

std::string ascii_lower(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lowered;
}

IoError not_found_error() {
    return IoError{"The system cannot find the file specified.", 2};
}

IoError path_not_found_error() {
    return IoError{"The system cannot find the path specified.", 3};
}

const char* root_name(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? "HKCU" : "HKLM";
}

}  // namespace

// ---- MemoryFileSystem ----------------------------------------------------------------------

std::string MemoryFileSystem::key_of(std::string_view path) {
    std::string key = ascii_lower(path);
    std::replace(key.begin(), key.end(), '/', '\\');
    while (key.size() > 1 && key.back() == '\\' && !(key.size() == 3 && key[1] == ':')) {
        key.pop_back();
    }
    // Collapse doubled separators the way Windows tolerates them.
    std::string collapsed;
    for (char c : key) {
        if (c == '\\' && !collapsed.empty() && collapsed.back() == '\\') {
            continue;
        }
        collapsed += c;
    }
    return collapsed;
}

std::string MemoryFileSystem::parent_key(const std::string& key) {
    auto pos = key.rfind('\\');
    if (pos == std::string::npos) {
        return {};
    }
    // The parent of "c:\x" is the drive root "c:\", which has none.
    if (pos == 2 && key[1] == ':') {
        return key.size() > 3 ? key.substr(0, 3) : std::string();
    }
    return key.substr(0, pos);
}

std::optional<IoError> MemoryFileSystem::injected(std::string_view op,
                                                  std::string_view path) const {
    m_log.push_back(std::string(op) + " " + std::string(path));
    if (m_failure_hook) {
        return m_failure_hook(op, path);
    }
    return std::nullopt;
}

void MemoryFileSystem::add_directory(std::string_view path) {
    std::string key = key_of(path);
    std::string display(path);
    while (!key.empty()) {
        if (!m_nodes.contains(key)) {
            m_nodes[key] = Node{NodeKind::Directory, display, {}};
        }
        key = parent_key(key);
        auto pos = display.find_last_of("\\/");
        display = pos == std::string::npos ? std::string() : display.substr(0, pos);
    }
}

void MemoryFileSystem::add_file(std::string_view path, std::string_view content) {
    std::string key = key_of(path);
    std::string parent = parent_key(key);
    if (!parent.empty()) {
        auto pos = std::string(path).find_last_of("\\/");
        add_directory(std::string(path).substr(0, pos));
    }
    m_nodes[key] = Node{NodeKind::File, std::string(path), std::string(content)};
}

void MemoryFileSystem::add_link(std::string_view path, std::string_view target) {
    std::string key = key_of(path);
    auto pos = std::string(path).find_last_of("\\/");
    if (pos != std::string::npos) {
        add_directory(std::string(path).substr(0, pos));
    }
    m_nodes[key] = Node{NodeKind::Link, std::string(path), std::string(target)};
}

void MemoryFileSystem::erase(std::string_view path) {
    std::string key = key_of(path);
    std::erase_if(m_nodes, [&](const auto& item) {
        return item.first == key || item.first.starts_with(key + "\\");
    });
}

bool MemoryFileSystem::exists(std::string_view path) const {
    return resolve(path) != nullptr;
}

std::optional<std::string> MemoryFileSystem::content(std::string_view path) const {
    const Node* node = resolve(path);
    if (node == nullptr || node->kind != NodeKind::File) {
        return std::nullopt;
    }
    return node->content;
}

std::vector<std::string> MemoryFileSystem::files_below(std::string_view folder) const {
    std::string prefix = key_of(folder) + "\\";
    std::vector<std::string> found;
    for (const auto& [key, node] : m_nodes) {
        if (node.kind == NodeKind::File && key.starts_with(prefix)) {
            found.push_back(node.display_path);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

const MemoryFileSystem::Node* MemoryFileSystem::resolve(std::string_view path,
                                                        std::string* resolved_key) const {
    std::string key = key_of(path);
    // Resolve links in every leading component, at most a few levels deep.
    for (int depth = 0; depth < 16; ++depth) {
        bool rewritten = false;
        std::size_t pos = 0;
        while (true) {
            std::size_t next = key.find('\\', pos);
            std::string prefix = next == std::string::npos ? key : key.substr(0, next);
            auto it = m_nodes.find(prefix);
            if (it != m_nodes.end() && it->second.kind == NodeKind::Link) {
                std::string rest = next == std::string::npos ? std::string() : key.substr(next);
                key = key_of(it->second.content) + rest;
                rewritten = true;
                break;
            }
            if (next == std::string::npos) {
                break;
            }
            pos = next + 1;
        }
        if (!rewritten) {
            auto it = m_nodes.find(key);
            if (it == m_nodes.end()) {
                return nullptr;
            }
            if (resolved_key != nullptr) {
                *resolved_key = key;
            }
            return &it->second;
        }
    }
    return nullptr;
}

std::expected<FileStatus, IoError> MemoryFileSystem::status(std::string_view path) const {
    if (auto error = injected("status", path)) {
        return std::unexpected(*error);
    }
    const Node* node = resolve(path);
    if (node == nullptr) {
        return std::unexpected(not_found_error());
    }
    return FileStatus{node->kind == NodeKind::Directory ? FileKind::Directory : FileKind::File};
}

std::expected<std::string, IoError> MemoryFileSystem::read_file_prefix(std::string_view path,
                                                                       std::size_t limit) const {
    if (auto error = injected("read", path)) {
        return std::unexpected(*error);
    }
    const Node* node = resolve(path);
    if (node == nullptr) {
        return std::unexpected(not_found_error());
    }
    if (node->kind != NodeKind::File) {
        return std::unexpected(IoError{"Access is denied.", 5});
    }
    return node->content.substr(0, limit);
}

std::expected<void, IoError> MemoryFileSystem::write_file(std::string_view path,
                                                          std::string_view content) {
    if (auto error = injected("write", path)) {
        return std::unexpected(*error);
    }
    std::string key = key_of(path);
    std::string parent = parent_key(key);
    if (!parent.empty() && resolve(parent) == nullptr) {
        return std::unexpected(path_not_found_error());
    }
    auto it = m_nodes.find(key);
    if (it != m_nodes.end() && it->second.kind != NodeKind::File) {
        return std::unexpected(IoError{"Access is denied.", 5});
    }
    m_nodes[key] = Node{NodeKind::File, std::string(path), std::string(content)};
    return {};
}

std::expected<void, IoError> MemoryFileSystem::create_directories(std::string_view path) {
    if (auto error = injected("mkdir", path)) {
        return std::unexpected(*error);
    }
    const Node* node = resolve(path);
    if (node != nullptr && node->kind == NodeKind::File) {
        return std::unexpected(IoError{"Cannot create a file when that file already exists.", 183});
    }
    add_directory(path);
    return {};
}

std::expected<void, IoError> MemoryFileSystem::replace_file(std::string_view from,
                                                            std::string_view to) {
    if (auto error = injected("replace", std::string(from) + " -> " + std::string(to))) {
        return std::unexpected(*error);
    }
    auto it = m_nodes.find(key_of(from));
    if (it == m_nodes.end()) {
        return std::unexpected(not_found_error());
    }
    Node moved = it->second;
    moved.display_path = std::string(to);
    m_nodes.erase(it);
    m_nodes[key_of(to)] = moved;
    return {};
}

std::expected<void, IoError> MemoryFileSystem::remove_file(std::string_view path) {
    if (auto error = injected("remove", path)) {
        return std::unexpected(*error);
    }
    auto it = m_nodes.find(key_of(path));
    if (it == m_nodes.end()) {
        return std::unexpected(not_found_error());
    }
    m_nodes.erase(it);
    return {};
}

std::expected<std::vector<std::string>, IoError> MemoryFileSystem::list_directory(
    std::string_view path) const {
    if (auto error = injected("list", path)) {
        return std::unexpected(*error);
    }
    std::string key;
    const Node* node = resolve(path, &key);
    if (node == nullptr) {
        return std::unexpected(path_not_found_error());
    }
    if (node->kind != NodeKind::Directory) {
        return std::unexpected(IoError{"The directory name is invalid.", 267});
    }
    std::vector<std::string> names;
    for (const auto& [child_key, child] : m_nodes) {
        if (parent_key(child_key) == key && child_key != key) {
            auto pos = child.display_path.find_last_of("\\/");
            names.push_back(pos == std::string::npos ? child.display_path
                                                     : child.display_path.substr(pos + 1));
        }
    }
    return names;
}

namespace {
class MemoryLock : public FileLock {
public:
    explicit MemoryLock(int& held) : m_held(held) {
        ++m_held;
    }
    ~MemoryLock() override {
        --m_held;
    }

private:
    int& m_held;
};
}  // namespace

std::expected<std::unique_ptr<FileLock>, IoError> MemoryFileSystem::lock_exclusive(
    std::string_view path, std::chrono::milliseconds time_limit) {
    m_last_lock_time_limit = time_limit;
    if (auto error = injected("lock", path)) {
        return std::unexpected(*error);
    }
    if (m_locks_held_elsewhere) {
        return std::unexpected(IoError{
            "This operation returned because the timeout period expired.", k_error_lock_timeout});
    }
    if (!exists(path)) {
        std::string key = key_of(path);
        if (!parent_key(key).empty() && resolve(parent_key(key)) == nullptr) {
            return std::unexpected(path_not_found_error());
        }
        m_nodes[key] = Node{NodeKind::File, std::string(path), {}};
    }
    return std::make_unique<MemoryLock>(m_locks_held);
}

void MemoryFileSystem::pause(int milliseconds) {
    m_pauses.push_back(milliseconds);
}

// ---- MemoryRegistry ------------------------------------------------------------------------

class MemoryRegistryKey : public RegistryKey {
public:
    MemoryRegistryKey(MemoryRegistry& registry, RegistryRoot root, std::string path, bool writable)
        : m_registry(registry), m_root(root), m_path(std::move(path)), m_writable(writable) {}

    std::expected<RegistryValue, std::uint32_t> query_value(std::string_view name) const override {
        m_registry.m_log.push_back("query " + std::string(root_name(m_root)) + "\\" + m_path +
                                   "\\" + std::string(name));
        auto failing = m_registry.m_failing_query.find(ascii_lower(name));
        if (failing != m_registry.m_failing_query.end()) {
            return std::unexpected(failing->second);
        }
        const auto& key = m_registry.m_keys.at(MemoryRegistry::key_of(m_root, m_path));
        auto it = key.values.find(ascii_lower(name));
        if (it == key.values.end()) {
            return std::unexpected(k_error_file_not_found);
        }
        return it->second.value;
    }

    std::uint32_t set_value(std::string_view name, std::uint32_t type,
                            std::span<const std::uint8_t> data) override {
        if (std::uint32_t refused = refused_write("set", name, " " + std::to_string(type))) {
            return refused;
        }
        auto& key = m_registry.m_keys.at(MemoryRegistry::key_of(m_root, m_path));
        auto& stored = key.values[ascii_lower(name)];
        if (stored.name.empty()) {
            stored.name = std::string(name);
        }
        stored.value = RegistryValue{std::vector<std::uint8_t>(data.begin(), data.end()), type};
        return k_error_success;
    }

    std::uint32_t delete_value(std::string_view name) override {
        if (std::uint32_t refused = refused_write("delete", name, "")) {
            return refused;
        }
        auto& key = m_registry.m_keys.at(MemoryRegistry::key_of(m_root, m_path));
        return key.values.erase(ascii_lower(name)) == 1 ? k_error_success : k_error_file_not_found;
    }

    std::expected<std::string, std::uint32_t> enum_subkey(std::uint32_t index) const override {
        const auto& key = m_registry.m_keys.at(MemoryRegistry::key_of(m_root, m_path));
        if (index >= key.subkeys.size()) {
            return std::unexpected(k_error_no_more_items);
        }
        const std::string& name = key.subkeys[index];
        if (to_utf16(name).size() > 2047) {
            return std::unexpected(k_error_more_data);
        }
        if (!is_valid_utf8(name)) {
            return std::unexpected(k_error_no_unicode_translation);
        }
        return name;
    }

    std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_subkey(
        std::string_view name, std::uint32_t access) const override {
        return m_registry.open_key(m_root, m_path + "\\" + std::string(name), access);
    }

private:
    // Logs a write of the value `name` ("set HKCU\Environment\Path 2") and returns the code it
    // fails with: refused on a read-only key, or as told by fail_set; 0 when it may go ahead.
    std::uint32_t refused_write(std::string_view action, std::string_view name,
                                const std::string& detail) {
        if (auto hook = m_registry.m_before_write.find(ascii_lower(name));
            hook != m_registry.m_before_write.end()) {
            hook->second();
        }
        m_registry.m_log.push_back(std::string(action) + " " + root_name(m_root) + "\\" + m_path +
                                   "\\" + std::string(name) + detail);
        if (!m_writable) {
            return k_error_access_denied;
        }
        auto failing = m_registry.m_failing_set.find(ascii_lower(name));
        return failing != m_registry.m_failing_set.end() ? failing->second : k_error_success;
    }

    MemoryRegistry& m_registry;
    RegistryRoot m_root;
    std::string m_path;
    bool m_writable;
};

std::string MemoryRegistry::key_of(RegistryRoot root, std::string_view path) {
    return std::string(root_name(root)) + "\\" + ascii_lower(path);
}

MemoryRegistry::Key& MemoryRegistry::ensure_key(RegistryRoot root, std::string_view path) {
    std::string key = key_of(root, path);
    auto it = m_keys.find(key);
    if (it != m_keys.end()) {
        return it->second;
    }
    auto pos = path.rfind('\\');
    if (pos != std::string_view::npos) {
        Key& parent = ensure_key(root, path.substr(0, pos));
        parent.subkeys.emplace_back(path.substr(pos + 1));
    }
    Key& created = m_keys[key];
    created.display_path = std::string(path);
    return created;
}

void MemoryRegistry::add_key(RegistryRoot root, std::string_view key) {
    ensure_key(root, key);
}

void MemoryRegistry::set(RegistryRoot root, std::string_view key, std::string_view name,
                         std::uint32_t type, std::vector<std::uint8_t> bytes) {
    auto& stored = ensure_key(root, key).values[ascii_lower(name)];
    stored.name = std::string(name);
    stored.value = RegistryValue{std::move(bytes), type};
}

void MemoryRegistry::set_text(RegistryRoot root, std::string_view key, std::string_view name,
                              std::string_view text, std::uint32_t type) {
    set(root, key, name, type, registry_text_bytes(text));
}

std::optional<RegistryValue> MemoryRegistry::get(RegistryRoot root, std::string_view key,
                                                 std::string_view name) const {
    auto it = m_keys.find(key_of(root, key));
    if (it == m_keys.end()) {
        return std::nullopt;
    }
    auto value = it->second.values.find(ascii_lower(name));
    if (value == it->second.values.end()) {
        return std::nullopt;
    }
    return value->second.value;
}

std::optional<std::string> MemoryRegistry::get_text(RegistryRoot root, std::string_view key,
                                                    std::string_view name) const {
    auto value = get(root, key, name);
    if (!value) {
        return std::nullopt;
    }
    std::u16string units;
    for (std::size_t i = 0; i + 1 < value->bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(value->bytes[i] | (value->bytes[i + 1] << 8)));
    }
    while (!units.empty() && units.back() == u'\0') {
        units.pop_back();
    }
    return from_utf16_lossy(units);
}

void MemoryRegistry::deny_write(RegistryRoot root, std::string_view key, std::uint32_t code) {
    m_denied_write[key_of(root, key)] = code;
}

void MemoryRegistry::deny_open(RegistryRoot root, std::string_view key, std::uint32_t code) {
    m_denied_open[key_of(root, key)] = code;
}

void MemoryRegistry::fail_set(std::string_view name, std::uint32_t code) {
    m_failing_set[ascii_lower(name)] = code;
}

void MemoryRegistry::fail_query(std::string_view name, std::uint32_t code) {
    m_failing_query[ascii_lower(name)] = code;
}

void MemoryRegistry::before_write(std::string_view name, std::function<void()> action) {
    m_before_write[ascii_lower(name)] = std::move(action);
}

std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> MemoryRegistry::open_key(
    RegistryRoot root, std::string_view subkey, std::uint32_t access) {
    bool writable = access == k_key_read_write;
    m_log.push_back(std::string("open ") + root_name(root) + "\\" + std::string(subkey) +
                    (writable ? " rw" : " r"));
    std::string key = key_of(root, subkey);
    if (auto it = m_denied_open.find(key); it != m_denied_open.end()) {
        return std::unexpected(it->second);
    }
    if (writable) {
        if (auto it = m_denied_write.find(key); it != m_denied_write.end()) {
            return std::unexpected(it->second);
        }
    }
    if (!m_keys.contains(key)) {
        return std::unexpected(k_error_file_not_found);
    }
    return std::make_unique<MemoryRegistryKey>(*this, root, m_keys.at(key).display_path, writable);
}

std::string MemoryRegistry::error_message(std::uint32_t code) const {
    switch (code) {
        case 2:
            return "The system cannot find the file specified.";
        case 5:
            return "Access is denied.";
        case 222:
            return "The file type being saved or retrieved has been blocked.";
        case k_code_without_message:
            return "";
        default:
            return "Unknown error " + std::to_string(code) + ".";
    }
}

void MemoryRegistry::broadcast_environment_change() {
    ++m_broadcasts;
    m_log.emplace_back("broadcast");
}

// ---- FakeProcessRunner ---------------------------------------------------------------------

void FakeProcessRunner::script(std::string_view program, std::optional<CapturedOutput> output) {
    m_script[ascii_lower(program)] = std::move(output);
}

void FakeProcessRunner::script_output(std::string_view program, std::string standard_error,
                                      std::string standard_output, std::uint32_t exit_code) {
    script(program,
           CapturedOutput{exit_code, std::move(standard_output), std::move(standard_error)});
}

void FakeProcessRunner::script_call(std::string_view program, std::vector<std::string> arguments,
                                    std::optional<CapturedOutput> output) {
    m_call_script[{ascii_lower(program), std::move(arguments)}] = std::move(output);
}

std::optional<CapturedOutput> FakeProcessRunner::run_captured(
    std::string_view program, std::span<const std::string> arguments,
    std::chrono::milliseconds time_limit) {
    m_calls.push_back(Call{std::string(program),
                           std::vector<std::string>(arguments.begin(), arguments.end()),
                           time_limit});
    auto call = m_call_script.find(
        {ascii_lower(program), std::vector<std::string>(arguments.begin(), arguments.end())});
    if (call != m_call_script.end()) {
        return call->second;
    }
    auto it = m_script.find(ascii_lower(program));
    if (it == m_script.end()) {
        return std::nullopt;
    }
    return it->second;
}

// ---- FakeProcessEnvironment, CapturingConsole, FakePlatform --------------------------------

std::optional<std::string> FakeProcessEnvironment::variable(std::string_view name) const {
    auto it = variables.find(name);
    if (it == variables.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::string FakeProcessEnvironment::decode_oem(std::string_view bytes) const {
    std::string text;
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

void CapturingConsole::write(StandardStream stream, std::string_view text) {
    if (!write_failure(stream)) {
        (stream == StandardStream::Output ? output : error) += text;
    }
}

std::optional<IoError> CapturingConsole::write_failure(StandardStream stream) const {
    return stream == StandardStream::Output ? output_failure : error_failure;
}

void CapturingConsole::flush(StandardStream stream) {
    if (stream == StandardStream::Output) {
        output_flushed = output.size();
    }
}

bool CapturingConsole::is_terminal(StandardStream stream) const {
    return stream == StandardStream::Output ? output_is_terminal : error_is_terminal;
}

std::expected<std::string, std::string> CapturingConsole::read_line(std::size_t limit) {
    flushed_at_read.push_back(output_flushed);
    if (input.empty()) {
        return std::string();
    }
    auto line = std::move(input.front());
    input.pop_front();
    // Like the real console: no more than `limit` + 2 characters of a line without a line feed.
    std::size_t characters = 0;
    for (std::size_t i = 0; line && i < line->size() && (*line)[i] != '\n'; ++i) {
        bool starts_character = (static_cast<unsigned char>((*line)[i]) & 0xC0) != 0x80;
        if (starts_character && characters++ == limit + 2) {
            line->resize(i);
        }
    }
    return line;
}

void FakePlatform::add_jdk(std::string_view root, std::optional<std::string> release) {
    std::string base(root);
    files.add_file(base + "\\bin\\java.exe");
    files.add_file(base + "\\bin\\javac.exe");
    if (release) {
        files.add_file(base + "\\release", *release);
    }
}

std::string json_string(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::vector<std::uint8_t> registry_text_bytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : to_utf16(text)) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

}  // namespace corvel::fakes
