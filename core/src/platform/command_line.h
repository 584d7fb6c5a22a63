#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

// The Windows command line (UTF-8) that a child's C runtime splits back into exactly
// `program` followed by `arguments`. The program name is always quoted and taken verbatim, so
// it must not contain a quotation mark (no Windows file name does); arguments may hold anything
// but NUL.
std::string build_command_line(std::string_view program, std::span<const std::string> arguments);

// The argv that the Microsoft C runtime makes of `command_line`: the program name up to the
// first unquoted space or tab with quotes removed and backslashes literal, then the arguments
// under the backslash-and-quote rules. Used to check build_command_line.
std::vector<std::string> parse_command_line_msvc(std::string_view command_line);

}  // namespace corvel
