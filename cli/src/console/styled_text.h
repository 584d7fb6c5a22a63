#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvel {

// Foreground colours, valued by their ANSI codes.
enum class TextColor : std::uint8_t { Red = 31, Green = 32, Yellow = 33, Blue = 34, Cyan = 36 };

// A set of style flags; the empty set is plain.
struct TextStyle {
    bool bold = false;
    bool dimmed = false;
    bool underline = false;
    bool italic = false;

    bool empty() const {
        return !bold && !dimmed && !underline && !italic;
    }
};

// An owned text with an optional colour and style flags; combining adds flags.
struct StyledText {
    std::string text;
    std::optional<TextColor> color;
    TextStyle style;

    StyledText bold() const&;
    StyledText dimmed() const&;
    StyledText underline() const&;
    StyledText italic() const&;
};

StyledText plain(std::string_view text);
StyledText colored(std::string_view text, TextColor color);
StyledText red(std::string_view text);
StyledText green(std::string_view text);
StyledText yellow(std::string_view text);
StyledText blue(std::string_view text);
StyledText cyan(std::string_view text);
StyledText dimmed(std::string_view text);

// The text with its escape sequences when `colour` is on and it has a colour or a flag; padded
// with spaces to `width` characters inside the sequences. Longer texts are never cut. Control
// characters in the text (tab aside) are shown as U+FFFD.
std::string render(const StyledText& piece, bool colour, std::size_t width = 0);

// A suggested command line: the command in single quotes, cyan.
StyledText command_hint(std::string_view command);

// The status symbols.
inline constexpr std::string_view k_check_mark = "\u2714";
inline constexpr std::string_view k_warning_sign = "\u26A0";
inline constexpr std::string_view k_ballot_x = "\u2717";
inline constexpr std::string_view k_information = "\u2139";
inline constexpr std::string_view k_active_marker = "\u25B6";
inline constexpr std::string_view k_arrow = "\u2192";
inline constexpr std::string_view k_hint_arrow = "\u21B3";
inline constexpr std::string_view k_em_dash = "\u2014";

}  // namespace corvel
