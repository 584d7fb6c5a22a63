#include "console/styled_text.h"

#include "text/text.h"

namespace corvel {

StyledText StyledText::bold() const& {
    StyledText copy = *this;
    copy.style.bold = true;
    return copy;
}
StyledText StyledText::dimmed() const& {
    StyledText copy = *this;
    copy.style.dimmed = true;
    return copy;
}
StyledText StyledText::underline() const& {
    StyledText copy = *this;
    copy.style.underline = true;
    return copy;
}
StyledText StyledText::italic() const& {
    StyledText copy = *this;
    copy.style.italic = true;
    return copy;
}

StyledText plain(std::string_view text) {
    return StyledText{std::string(text), std::nullopt, {}};
}
StyledText colored(std::string_view text, TextColor color) {
    return StyledText{std::string(text), color, {}};
}
StyledText red(std::string_view text) {
    return colored(text, TextColor::Red);
}
StyledText green(std::string_view text) {
    return colored(text, TextColor::Green);
}
StyledText yellow(std::string_view text) {
    return colored(text, TextColor::Yellow);
}
StyledText blue(std::string_view text) {
    return colored(text, TextColor::Blue);
}
StyledText cyan(std::string_view text) {
    return colored(text, TextColor::Cyan);
}
StyledText dimmed(std::string_view text) {
    return plain(text).dimmed();
}

std::string render(const StyledText& piece, bool colour, std::size_t width) {
    // Texts from outside (paths, versions, a child's banner) must not drive the terminal; the
    // only escape sequences written are the program's own, added below.
    std::string body = replace_control_characters(piece.text);
    std::size_t length = width > 0 ? count_characters(body) : 0;
    if (length < width) {
        body.append(width - length, ' ');
    }
    if (!colour || (!piece.color && piece.style.empty())) {
        return body;
    }
    std::string codes;
    auto add = [&codes](int code) {
        if (!codes.empty()) {
            codes += ';';
        }
        codes += std::to_string(code);
    };
    if (piece.style.bold) {
        add(1);
    }
    if (piece.style.dimmed) {
        add(2);
    }
    if (piece.style.underline) {
        add(4);
    }
    if (piece.style.italic) {
        add(3);
    }
    if (piece.color) {
        add(static_cast<int>(*piece.color));
    }
    return "\x1b[" + codes + "m" + body + "\x1b[0m";
}

StyledText command_hint(std::string_view command) {
    return cyan("'" + std::string(command) + "'");
}

}  // namespace corvel
