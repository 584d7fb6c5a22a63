#include "text/text.h"

#include <cstdint>

namespace corvel {

namespace {

constexpr char32_t k_replacement = 0xFFFD;

// Decodes one UTF-8 scalar at `pos`; advances `pos` past it, or past the maximal invalid
// subsequence (at least one byte) and returns nothing.
std::optional<char32_t> decode_one(std::string_view bytes, std::size_t& pos) {
    auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    std::uint8_t lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int length = 0;
    char32_t value = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        ++pos;
        return std::nullopt;
    }
    std::size_t i = pos + 1;
    for (int n = 1; n < length; ++n, ++i) {
        if (i >= bytes.size()) {
            pos = i;
            return std::nullopt;
        }
        std::uint8_t next = byte(i);
        std::uint8_t lo = n == 1 ? low : std::uint8_t{0x80};
        std::uint8_t hi = n == 1 ? high : std::uint8_t{0xBF};
        if (next < lo || next > hi) {
            pos = i;
            return std::nullopt;
        }
        value = (value << 6) | (next & 0x3F);
    }
    pos = i;
    return value;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// UTF-16 to UTF-8; `ok` cleared when an unpaired surrogate was replaced.
std::string utf16_to_utf8(std::u16string_view text, bool& ok) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            char32_t c = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            append_utf8(out, c);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            ok = false;
            append_utf8(out, k_replacement);
        } else {
            append_utf8(out, unit);
        }
    }
    return out;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        if (!decode_one(bytes, pos)) {
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
        if (decode_one(bytes, pos)) {
            out.append(bytes.substr(start, pos - start));
        } else {
            append_utf8(out, k_replacement);
        }
    }
    return out;
}

std::u16string to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        char32_t c = decode_one(text, pos).value_or(k_replacement);
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
        decode_one(text, pos);
        ++count;
    }
    return count;
}

}  // namespace corvel
