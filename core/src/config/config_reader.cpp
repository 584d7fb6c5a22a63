#include <algorithm>
#include <exception>
#include <iterator>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "config/config.h"
#include "config/config_format.h"

// The reader of config.json: the strict rules for its shape and the messages that place a
// problem by line and column.

namespace corvel {

namespace {

using Json = nlohmann::json;

constexpr std::string_view k_byte_order_mark = "\xEF\xBB\xBF";

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

}  // namespace

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

}  // namespace corvel
