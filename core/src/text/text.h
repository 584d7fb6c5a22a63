#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

// Full Unicode lower-case mapping of UTF-8 text (UnicodeData plus SpecialCasing, U+0130 and
// the final-sigma rule included). Invalid sequences are kept as they are.
std::string to_lower(std::string_view text);

// `text` without Unicode white space (the White_Space property) at either end.
std::string_view trim_whitespace(std::string_view text);

// Whether `bytes` is well-formed UTF-8 (no surrogates, no overlong forms).
bool is_valid_utf8(std::string_view bytes);

// `bytes` decoded as UTF-8, each maximal invalid subsequence replaced by U+FFFD.
std::string decode_utf8_lossy(std::string_view bytes);

// UTF-8 to UTF-16; invalid UTF-8 sequences become U+FFFD.
std::u16string to_utf16(std::string_view text);

// UTF-16 to UTF-8; each unpaired surrogate becomes U+FFFD.
std::string from_utf16_lossy(std::u16string_view text);

// UTF-16 to UTF-8; nothing when the text holds an unpaired surrogate.
std::optional<std::string> from_utf16_strict(std::u16string_view text);

// The lines of `text`: split at line feeds, a carriage return right before a line feed dropped
// with it, no extra line after a final line feed, none at all for the empty text.
std::vector<std::string_view> split_lines(std::string_view text);

// `text` without what a terminal would obey or reorder: C0 (U+0000 to U+001F) except tab, DEL
// and C1 (U+0080 to U+009F), which move the cursor or set the title; the bidirectional formatting
// characters U+061C, U+200E, U+200F, U+202A to U+202E and U+2066 to U+2069; and U+2028 and
// U+2029, at which some terminals end a line. Invalid UTF-8 stays as it is.
std::string remove_control_characters(std::string_view text);

// Whether `text` holds a character that remove_control_characters drops.
bool has_display_control_character(std::string_view text);

// `text` with each character that remove_control_characters drops replaced by U+FFFD.
std::string replace_control_characters(std::string_view text);

// Number of Unicode scalar values in UTF-8 text; each maximal invalid subsequence counts as one,
// as many as the U+FFFD that lossy decoding shows for it.
std::size_t count_characters(std::string_view text);

}  // namespace corvel
