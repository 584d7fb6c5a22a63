#include "config/config.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <iterator>
#include <random>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "text/path_text.h"
#include "text/text.h"

namespace corvel {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

constexpr std::string_view k_byte_order_mark = "\xEF\xBB\xBF";

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

// The library's message without its "[json.exception.type_error.316] " tag.
std::string without_exception_tag(std::string message) {
    if (message.starts_with("[json.exception.")) {
        std::size_t end = message.find("] ");
        if (end != std::string::npos) {
            message.erase(0, end + 2);
        }
    }
    return message;
}

// "line L, column C" of the byte before `consumed`: the last byte the parser has read, counted
// the way the JSON library counts its own syntax errors (bytes, 1-based).
std::string position_text(std::string_view text, std::size_t consumed) {
    consumed = std::min(consumed, text.size());
    std::size_t last = consumed == 0 ? 0 : consumed - 1;
    std::string_view before = text.substr(0, last);
    std::size_t line = 1 + static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n'));
    std::size_t line_start = before.rfind('\n');
    std::size_t column = line_start == std::string_view::npos ? last + 1 : last - line_start;
    if (consumed == 0) {
        column = 1;
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Walks the text for the JSON library and counts how many bytes it has taken, so that a problem
// the reader finds in the middle of the text can be placed by line and column.
class CountingIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountingIterator(const char* at, std::size_t* consumed) : m_at(at), m_consumed(consumed) {}

    reference operator*() const {
        return *m_at;
    }
    CountingIterator& operator++() {
        ++m_at;
        ++*m_consumed;
        return *this;
    }
    CountingIterator operator++(int) {
        CountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const CountingIterator& other) const {
        return m_at == other.m_at;
    }

private:
    const char* m_at;
    std::size_t* m_consumed;
};

// Turns the JSON library's events into a Config, enforcing the shape of config.json: an object
// with "current" (string or null, may be missing) and "versions" (required object of entries);
// each entry with "path" (required string), "detected_version" and "vendor" (string or null,
// may be missing). Unknown members are skipped whatever they hold; a record member named twice
// is an error, an alias named twice is not (the later one wins). Events arrive without
// recursion, so deeply nested input cannot exhaust the stack.
class ConfigReader {
public:
    ConfigReader(std::string_view text, const std::size_t& consumed)
        : m_text(text), m_consumed(consumed) {}

    Config& config() {
        return m_config;
    }
    const std::string& error() const {
        return m_error;
    }

    bool null() {
        return scalar([] { return std::string("null"); }, nullptr, true);
    }
    bool boolean(bool value) {
        return scalar(
            [value] { return std::string("boolean `") + (value ? "true" : "false") + "`"; },
            nullptr, false);
    }
    bool number_integer(Json::number_integer_t value) {
        return number([value] { return "integer `" + std::to_string(value) + "`"; });
    }
    bool number_unsigned(Json::number_unsigned_t value) {
        return number([value] { return "integer `" + std::to_string(value) + "`"; });
    }
    bool number_float(Json::number_float_t, const std::string& raw) {
        return number([&raw] { return "floating point `" + raw + "`"; });
    }
    bool string(std::string& value) {
        return scalar([&value] { return "string " + quoted(value); }, &value, false);
    }
    bool binary(Json::binary_t&) {
        return scalar([] { return std::string("binary data"); }, nullptr, false);
    }

    bool start_object(std::size_t) {
        if (m_skip_depth > 0 || m_pending == Pending::Ignored) {
            ++m_skip_depth;
            return true;
        }
        switch (m_pending) {
            case Pending::TopValue:
                m_level = Level::Top;
                return true;
            case Pending::Versions:
                m_level = Level::Versions;
                return true;
            case Pending::Entry:
                m_level = Level::Entry;
                m_entry = JdkEntry{};
                m_seen_path = m_seen_version = m_seen_vendor = false;
                return true;
            default:
                return invalid_type("map");
        }
    }

    bool end_object() {
        if (m_skip_depth > 0) {
            --m_skip_depth;
            return true;
        }
        switch (m_level) {
            case Level::Entry:
                if (!m_seen_path) {
                    return fail("missing field `path`");
                }
                m_config.versions.insert_or_assign(m_alias, std::move(m_entry));
                m_level = Level::Versions;
                return true;
            case Level::Versions:
                m_level = Level::Top;
                return true;
            case Level::Top:
                if (!m_seen_versions) {
                    return fail("missing field `versions`");
                }
                m_level = Level::Done;
                return true;
            default:
                return true;
        }
    }

    bool start_array(std::size_t) {
        if (m_skip_depth > 0 || m_pending == Pending::Ignored) {
            ++m_skip_depth;
            return true;
        }
        return invalid_type("sequence");
    }

    bool end_array() {
        // Arrays are only ever entered while skipping an unknown member.
        --m_skip_depth;
        return true;
    }

    bool key(std::string& name) {
        if (m_skip_depth > 0) {
            return true;
        }
        switch (m_level) {
            case Level::Top:
                if (name == "current") {
                    return field(m_seen_current, "current", Pending::Current);
                }
                if (name == "versions") {
                    return field(m_seen_versions, "versions", Pending::Versions);
                }
                break;
            case Level::Versions:
                m_alias = name;
                m_pending = Pending::Entry;
                return true;
            case Level::Entry:
                if (name == "path") {
                    return field(m_seen_path, "path", Pending::Path);
                }
                if (name == "detected_version") {
                    return field(m_seen_version, "detected_version", Pending::DetectedVersion);
                }
                if (name == "vendor") {
                    return field(m_seen_vendor, "vendor", Pending::Vendor);
                }
                break;
            default:
                break;
        }
        m_pending = Pending::Ignored;
        return true;
    }

    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& ex) {
        m_error = clean_library_message(ex.what(), position);
        return false;
    }

private:
    enum class Level { Start, Top, Versions, Entry, Done };
    enum class Pending {
        TopValue,
        Current,
        Versions,
        Entry,
        Path,
        DetectedVersion,
        Vendor,
        Ignored
    };

    static std::string quoted(const std::string& value) {
        return Json(value).dump(-1, ' ', false, Json::error_handler_t::replace);
    }

    // Numbers are the one token the library reads one byte past (and puts back).
    template <typename Describe>
    bool number(const Describe& describe) {
        if (m_consumed > 0 && m_consumed <= m_text.size()) {
            char last = m_text[m_consumed - 1];
            bool number_byte = (last >= '0' && last <= '9') || last == '.' || last == 'e' ||
                               last == 'E' || last == '+' || last == '-';
            if (!number_byte) {
                m_adjust = 1;
            }
        }
        bool accepted = scalar(describe, nullptr, false);
        m_adjust = 0;
        return accepted;
    }

    // `describe` names the value for an error message; it runs only when there is one, which
    // keeps reading a large file from formatting every string in it.
    template <typename Describe>
    bool scalar(const Describe& describe, std::string* text, bool is_null) {
        if (m_skip_depth > 0) {
            return true;
        }
        switch (m_pending) {
            case Pending::Ignored:
                return true;
            case Pending::Current:
                return optional_text(m_config.current, describe, text, is_null);
            case Pending::DetectedVersion:
                return optional_text(m_entry.detected_version, describe, text, is_null);
            case Pending::Vendor:
                return optional_text(m_entry.vendor, describe, text, is_null);
            case Pending::Path:
                if (text == nullptr) {
                    return invalid_type(describe(), "a string");
                }
                m_entry.path = std::move(*text);
                return true;
            default:
                return invalid_type(describe());
        }
    }

    template <typename Describe>
    bool optional_text(std::optional<std::string>& slot, const Describe& describe,
                       std::string* text, bool is_null) {
        if (is_null) {
            slot.reset();
            return true;
        }
        if (text == nullptr) {
            return invalid_type(describe(), "a string");
        }
        slot = std::move(*text);
        return true;
    }

    bool invalid_type(const std::string& description) {
        bool wants_text = m_pending == Pending::Current || m_pending == Pending::Path ||
                          m_pending == Pending::DetectedVersion || m_pending == Pending::Vendor;
        return invalid_type(description, wants_text ? "a string" : "an object");
    }

    bool invalid_type(const std::string& description, const char* expected) {
        return fail("invalid type: " + description + ", expected " + expected);
    }

    bool field(bool& seen, const char* name, Pending pending) {
        if (seen) {
            return fail(std::string("duplicate field `") + name + "`");
        }
        seen = true;
        m_pending = pending;
        return true;
    }

    bool fail(const std::string& message) {
        m_error = message + " at " + position_text(m_text, m_consumed - m_adjust);
        return false;
    }

    // The library says "[json.exception.parse_error.101] parse error at line 1, column 5: syntax
    // error while parsing value - ..."; users get "syntax error while parsing value - ... at line
    // 1, column 5".
    std::string clean_library_message(std::string message, std::size_t position) const {
        message = without_exception_tag(std::move(message));
        constexpr std::string_view k_lead = "parse error at ";
        if (message.starts_with(k_lead)) {
            std::size_t colon = message.find(": ");
            if (colon != std::string::npos) {
                std::string where = message.substr(k_lead.size(), colon - k_lead.size());
                return message.substr(colon + 2) + " at " + where;
            }
        }
        return message + " at " + position_text(m_text, position);
    }

    std::string_view m_text;
    const std::size_t& m_consumed;
    std::size_t m_adjust = 0;
    Config m_config;
    std::string m_error;
    Level m_level = Level::Start;
    Pending m_pending = Pending::TopValue;
    int m_skip_depth = 0;
    bool m_seen_current = false;
    bool m_seen_versions = false;
    std::string m_alias;
    JdkEntry m_entry;
    bool m_seen_path = false;
    bool m_seen_version = false;
    bool m_seen_vendor = false;
};

// How text that is not UTF-8 is written: refused with the library's description (save_config),
// or with each bad sequence replaced by U+FFFD (serialize_config).
using BadText = OrderedJson::error_handler_t;

// Writes config.json straight out in one pass, producing the same bytes as the library's
// two-space dump of the ordered document would, without building that document: its objects
// search their members one by one on every insertion, which made saving a large configuration
// take minutes.
class DocumentWriter {
public:
    DocumentWriter(BadText bad_text, std::size_t expected_size) : m_bad_text(bad_text) {
        m_out.reserve(expected_size);
    }

    // Appends bytes that need no escaping (the layout and the member names).
    void raw(std::string_view bytes) {
        m_out += bytes;
    }

    // Appends `text` as a JSON string the way the library dumps one: the quotation mark, the
    // backslash and the control characters escaped, everything else ("/", DEL, non-ASCII) as it
    // is. Text that is not UTF-8 is rare, so the library writes it, which keeps its replacement
    // characters and its error message exactly as they were.
    void string(std::string_view text) {
        if (m_error) {
            return;
        }
        std::size_t start = m_out.size();
        m_out += '"';
        bool non_ascii = false;
        std::size_t run = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            auto byte = static_cast<unsigned char>(text[i]);
            if (byte >= 0x20 && byte != '"' && byte != '\\') {
                non_ascii = non_ascii || byte >= 0x80;
                continue;
            }
            m_out.append(text.substr(run, i - run));
            run = i + 1;
            escape(byte);
        }
        m_out.append(text.substr(run));
        m_out += '"';
        if (non_ascii && !is_valid_utf8(text)) {
            m_out.resize(start);
            library_string(text);
        }
    }

    // Appends the text as a string, or null when it is absent.
    void optional(const std::optional<std::string>& text) {
        if (text) {
            string(*text);
        } else {
            raw("null");
        }
    }

    // The document, or the library's description of the first text it refused.
    std::expected<std::string, std::string> finish() && {
        if (m_error) {
            return std::unexpected(std::move(*m_error));
        }
        return std::move(m_out);
    }

private:
    void escape(unsigned char byte) {
        static constexpr char k_hex[] = "0123456789abcdef";
        m_out += '\\';
        switch (byte) {
            case '"':
            case '\\':
                m_out += static_cast<char>(byte);
                break;
            case '\b':
                m_out += 'b';
                break;
            case '\t':
                m_out += 't';
                break;
            case '\n':
                m_out += 'n';
                break;
            case '\f':
                m_out += 'f';
                break;
            case '\r':
                m_out += 'r';
                break;
            default:
                m_out += "u00";
                m_out += k_hex[byte >> 4];
                m_out += k_hex[byte & 0xF];
                break;
        }
    }

    void library_string(std::string_view text) {
        try {
            m_out += OrderedJson(text).dump(-1, ' ', false, m_bad_text);
        } catch (const std::exception& error) {
            m_error = without_exception_tag(error.what());
        }
    }

    BadText m_bad_text;
    std::string m_out;
    std::optional<std::string> m_error;
};

// The text of config.json; fails only with BadText::strict, on text that is not UTF-8.
std::expected<std::string, std::string> write_config(const Config& config, BadText bad_text) {
    constexpr std::size_t k_layout_per_entry = 80;
    auto size_of = [](const std::optional<std::string>& text) { return text ? text->size() : 0; };
    std::size_t expected_size = 48 + size_of(config.current);
    for (const auto& [alias, entry] : config.versions) {
        expected_size += k_layout_per_entry + alias.size() + entry.path.size() +
                         size_of(entry.detected_version) + size_of(entry.vendor);
    }
    // Room for a few escaped backslashes (every Windows path has some) without growing.
    DocumentWriter writer(bad_text, expected_size + expected_size / 8);
    writer.raw("{\n  \"current\": ");
    writer.optional(config.current);
    writer.raw(",\n  \"versions\": {");
    bool first = true;
    for (const auto& [alias, entry] : config.versions) {
        writer.raw(first ? "\n    " : ",\n    ");
        first = false;
        writer.string(alias);
        writer.raw(": {\n      \"path\": ");
        writer.string(entry.path);
        writer.raw(",\n      \"detected_version\": ");
        writer.optional(entry.detected_version);
        writer.raw(",\n      \"vendor\": ");
        writer.optional(entry.vendor);
        writer.raw("\n    }");
    }
    writer.raw(first ? "}\n}" : "\n  }\n}");
    return std::move(writer).finish();
}

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

std::string serialize_config(const Config& config) {
    // Every text of a Config reaching here came from UTF-8 sources; should one not, its bad
    // bytes are written as U+FFFD rather than failing (save_config refuses such a config).
    return *write_config(config, BadText::replace);
}

std::expected<Config, std::string> parse_config(std::string_view text) {
    if (text.starts_with(k_byte_order_mark)) {
        // The JSON library would skip it silently; config.json is written without one.
        return std::unexpected(std::string(
            "syntax error while parsing value - unexpected byte-order mark; expected '{' at "
            "line 1, column 1"));
    }
    std::size_t consumed = 0;
    ConfigReader reader(text, consumed);
    CountingIterator first(text.data(), &consumed);
    CountingIterator last(text.data() + text.size(), &consumed);
    bool parsed = false;
    try {
        parsed = Json::sax_parse(first, last, &reader, nlohmann::json::input_format_t::json, true,
                                 false);
    } catch (const std::exception& error) {
        return std::unexpected(std::string(error.what()));
    }
    if (!parsed) {
        return std::unexpected(reader.error());
    }
    // The library stops at a NUL byte as if the text ended there; whatever follows must not be
    // taken as part of a valid file.
    if (std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
        return std::unexpected(
            "syntax error while parsing value - unexpected NUL character; expected end of input "
            "at " +
            position_text(text, nul + 1));
    }
    return std::move(reader.config());
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
    auto text = write_config(config, BadText::strict);
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
