#pragma once

// UTF-8 decoding and encoding steps shared by the text functions of this module.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvel::utf8 {

// One scalar value and the byte offset where its encoding starts.
struct Located {
    char32_t value;
    std::size_t start;
};

// Decodes the scalar value starting at `pos` and moves `pos` past it. On an invalid sequence
// returns nothing and moves `pos` past its maximal invalid subsequence (at least one byte), the
// unit that lossy decoding replaces with one U+FFFD.
inline std::optional<char32_t> decode(std::string_view bytes, std::size_t& pos) {
    auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
    std::uint8_t lead = byte(pos);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int length = 0;
    char32_t value = 0;
    // The allowed range of the second byte excludes overlong forms, surrogates and values
    // above U+10FFFF.
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

// The scalar value whose encoding ends right before `end`, or nothing when `end` is 0 or the
// bytes before it do not end with one whole valid encoding.
inline std::optional<Located> decode_before(std::string_view bytes, std::size_t end) {
    for (std::size_t back = 1; back <= 4 && back <= end; ++back) {
        std::size_t start = end - back;
        if ((static_cast<std::uint8_t>(bytes[start]) & 0xC0) == 0x80) {
            continue;  // continuation byte: the encoding starts further back
        }
        std::size_t pos = start;
        std::optional<char32_t> value = decode(bytes, pos);
        if (value && pos == end) {
            return Located{*value, start};
        }
        return std::nullopt;
    }
    return std::nullopt;
}

// Appends the UTF-8 encoding of the scalar value `c`.
inline void append(std::string& out, char32_t c) {
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

}  // namespace corvel::utf8
