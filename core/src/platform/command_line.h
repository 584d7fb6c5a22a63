#pragma once

#include <span>
#include <string>
#include <string_view>

namespace corvel {

// The Windows command line (UTF-8) that a child's C runtime splits back into exactly
// `program` followed by `arguments`. The program name is always quoted and taken verbatim, so
// it must not contain a quotation mark (no Windows file name does); arguments may hold anything
// but NUL.
std::string build_command_line(std::string_view program, std::span<const std::string> arguments);

}  // namespace corvel
