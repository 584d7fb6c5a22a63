#include "console/terminal.h"

#include <algorithm>

namespace corvel {

std::size_t column_width(std::size_t minimum, std::size_t widest) {
    constexpr std::size_t k_max_column_width = 65'535;
    return std::min(std::max(minimum, widest), k_max_column_width);
}

bool decide_colour(const ProcessEnvironment& environment, bool output_is_terminal) {
    auto force = environment.variable("CLICOLOR_FORCE");
    if (force && *force != "0") {
        return true;
    }
    if (environment.variable("NO_COLOR")) {
        return false;
    }
    auto clicolor = environment.variable("CLICOLOR");
    return (!clicolor || *clicolor != "0") && output_is_terminal;
}

Terminal::Terminal(Console& console, const ProcessEnvironment& environment)
    : m_console(console),
      m_colour(decide_colour(environment, console.is_terminal(StandardStream::Output))) {}

std::string Terminal::render_cells(std::initializer_list<Cell> cells) const {
    std::string line;
    for (const Cell& cell : cells) {
        line += render(cell.piece, m_colour, cell.width);
    }
    return line;
}

void Terminal::print(std::initializer_list<Cell> cells) {
    m_console.write(StandardStream::Output, render_cells(cells));
    m_console.flush(StandardStream::Output);
}

void Terminal::print_line(std::initializer_list<Cell> cells) {
    m_console.write(StandardStream::Output, render_cells(cells) + "\n");
}

void Terminal::print_error_line(std::initializer_list<Cell> cells) {
    m_console.flush(StandardStream::Output);
    m_console.write(StandardStream::Error, render_cells(cells) + "\n");
    m_console.flush(StandardStream::Error);
}

void Terminal::print_header(std::string_view title) {
    print_line({plain(title).bold().underline()});
    print_line();
}

void Terminal::flush() {
    m_console.flush(StandardStream::Output);
}

}  // namespace corvel
