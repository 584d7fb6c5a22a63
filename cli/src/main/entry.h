#pragma once

#include <span>
#include <string>

#include "platform/platform.h"

namespace corvel {

// One run of corvel: prepares the console, warns when not elevated, parses `arguments` (after
// the program name, UTF-8) and runs the command. Returns the exit status: 0 success, 1 a
// failed command (after one "Error:" line on standard error), 2 a usage error.
int run_entry(Platform& platform, std::span<const std::string> arguments);

}  // namespace corvel
