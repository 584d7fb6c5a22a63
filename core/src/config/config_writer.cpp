#include <exception>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "config/config.h"
#include "config/config_format.h"
#include "text/text.h"

// The writer of config.json: the exact bytes, in one pass.

namespace corvel {

namespace {

using OrderedJson = nlohmann::ordered_json;

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

}  // namespace

std::expected<std::string, std::string> write_config_text(const Config& config) {
    return write_config(config, BadText::strict);
}

std::string serialize_config(const Config& config) {
    // Every text of a Config reaching here came from UTF-8 sources; should one not, its bad
    // bytes are written as U+FFFD rather than failing (save_config refuses such a config).
    return *write_config(config, BadText::replace);
}

}  // namespace corvel
