#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

#include "console/styled_text.h"
#include "platform/platform.h"

namespace corvel {

// A piece of a line and the column width it is left-aligned in (0: no padding).
struct Cell {
    StyledText piece;
    std::size_t width = 0;

    Cell(StyledText text, std::size_t column_width = 0)  // NOLINT: pieces convert implicitly
        : piece(std::move(text)), width(column_width) {}
};

// Where commands print: renders styled pieces with the colour decision made once per process,
// and flushes text that has no line end at once.
class Terminal {
public:
    // Decides colour from CLICOLOR_FORCE, NO_COLOR, CLICOLOR and whether standard output is a
    // console.
    Terminal(Console& console, const ProcessEnvironment& environment);

    // Writes the pieces to standard output with no line end, and flushes.
    void print(std::initializer_list<Cell> cells);
    // Writes the pieces and a line feed to standard output.
    void print_line(std::initializer_list<Cell> cells = {});
    // Writes the pieces and a line feed to standard error, and flushes.
    void print_error_line(std::initializer_list<Cell> cells);
    // The title bold and underlined on its own line, then an empty line.
    void print_header(std::string_view title);
    // Pushes buffered standard output out.
    void flush();

    Console& console() {
        return m_console;
    }

private:
    std::string render_cells(std::initializer_list<Cell> cells) const;

    Console& m_console;
    bool m_colour;
};

// The width of a table column whose longest value has `widest` bytes: at least `minimum`, and at
// most 65,535 characters (a longer value is printed whole and pushes the rest of its line right).
std::size_t column_width(std::size_t minimum, std::size_t widest);

// The colour rule alone: CLICOLOR_FORCE not "0" forces it on; NO_COLOR set turns it off;
// otherwise on when CLICOLOR is not "0" and standard output is a terminal.
bool decide_colour(const ProcessEnvironment& environment, bool output_is_terminal);

}  // namespace corvel
