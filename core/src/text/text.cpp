#include "text/text.h"

#include <cstdint>

#include "text/utf8_codec.h"

namespace corvel {

namespace {

constexpr char32_t k_replacement = 0xFFFD;

// UTF-16 to UTF-8; `ok` cleared when an unpaired surrogate was replaced.
std::string utf16_to_utf8(std::u16string_view text, bool& ok) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            char32_t c = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            utf8::append(out, c);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            ok = false;
            utf8::append(out, k_replacement);
        } else {
            utf8::append(out, unit);
        }
    }
    return out;
}

// The length in bytes of the control character at the start of `text`, or 0. A C1 character is
// U+0080 to U+009F, encoded as C2 80 to C2 9F; every other byte of UTF-8 text is looked at
// alone, which leaves invalid sequences as they are.
std::size_t control_length(std::string_view text) {
    auto byte = static_cast<unsigned char>(text[0]);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
        return 1;
    }
    if (byte == 0xC2 && text.size() > 1) {
        auto next = static_cast<unsigned char>(text[1]);
        if (next >= 0x80 && next <= 0x9F) {
            return 2;
        }
    }
    return 0;
}

// The length in bytes of the bidirectional formatting character at the start of `text`, or 0:
// U+061C, U+200E, U+200F, U+202A to U+202E and U+2066 to U+2069, which make a terminal show the
// text around them in another order.
std::size_t bidi_control_length(std::string_view text) {
    auto byte_at = [&](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    };
    if (byte_at(0) == 0xD8 && byte_at(1) == 0x9C) {
        return 2;
    }
    if (byte_at(0) != 0xE2) {
        return 0;
    }
    unsigned char second = byte_at(1);
    unsigned char third = byte_at(2);
    bool marks = second == 0x80 && (third == 0x8E || third == 0x8F);
    bool embeddings = second == 0x80 && third >= 0xAA && third <= 0xAE;
    bool isolates = second == 0x81 && third >= 0xA6 && third <= 0xA9;
    return marks || embeddings || isolates ? 3 : 0;
}

// The length in bytes of U+2028 or U+2029 at the start of `text`, or 0: some terminals end a
// line at them.
std::size_t line_separator_length(std::string_view text) {
    return text.size() >= 3 && text.substr(0, 2) == "\xE2\x80" &&
                   (text[2] == '\xA8' || text[2] == '\xA9')
               ? 3
               : 0;
}

// What must not reach a terminal as it is: a control, a bidirectional formatting character or a
// line or paragraph separator.
std::size_t display_control_length(std::string_view text) {
    if (std::size_t length = control_length(text); length > 0) {
        return length;
    }
    std::size_t length = bidi_control_length(text);
    return length > 0 ? length : line_separator_length(text);
}

// `text` with each character display_control_length finds replaced by `replacement`
// (which may be empty). Text without any, which is nearly all of it, is copied as it is.
std::string substitute_control_characters(std::string_view text, std::string_view replacement) {
    std::size_t pos = 0;
    while (pos < text.size() && display_control_length(text.substr(pos)) == 0) {
        ++pos;
    }
    if (pos == text.size()) {
        return std::string(text);
    }
    std::string out(text.substr(0, pos));
    out.reserve(text.size());
    while (pos < text.size()) {
        std::size_t length = display_control_length(text.substr(pos));
        if (length > 0) {
            out += replacement;
            pos += length;
        } else {
            out += text[pos];
            ++pos;
        }
    }
    return out;
}

}  // namespace

bool has_display_control_character(std::string_view text) {
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        if (display_control_length(text.substr(pos)) > 0) {
            return true;
        }
    }
    return false;
}

std::string remove_control_characters(std::string_view text) {
    return substitute_control_characters(text, {});
}

std::string replace_control_characters(std::string_view text) {
    return substitute_control_characters(text, "\uFFFD");
}

bool is_valid_utf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (!utf8::decode(bytes, pos)) {
            return false;
        }
    }
    return true;
}

std::string decode_utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t start = pos;
        if (utf8::decode(bytes, pos)) {
            out.append(bytes.substr(start, pos - start));
        } else {
            utf8::append(out, k_replacement);
        }
    }
    return out;
}

std::u16string to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        char32_t c = utf8::decode(text, pos).value_or(k_replacement);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string from_utf16_lossy(std::u16string_view text) {
    bool ok = true;
    return utf16_to_utf8(text, ok);
}

std::optional<std::string> from_utf16_strict(std::u16string_view text) {
    bool ok = true;
    std::string out = utf16_to_utf8(text, ok);
    if (!ok) {
        return std::nullopt;
    }
    return out;
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (end == std::string_view::npos) {
            break;
        }
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::size_t count_characters(std::string_view text) {
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        utf8::decode(text, pos);
        ++count;
    }
    return count;
}

}  // namespace corvel
