#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corvel {

// What a finished child process left behind.
struct CapturedOutput {
    std::uint32_t exit_code = 0;
    std::string standard_output;  // raw bytes
    std::string standard_error;   // raw bytes
};

// Child processes (the JDK launcher, where.exe) go through this seam so that probing and the
// status checks run against scripted answers in unit tests.
class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;

    // Runs `program` with exactly `arguments` as the child's argv, without a console window,
    // with the null device as standard input and both outputs captured. Nothing when it cannot
    // be started, or when it runs past `time_limit` (it is then terminated).
    virtual std::optional<CapturedOutput> run_captured(std::string_view program,
                                                       std::span<const std::string> arguments,
                                                       std::chrono::milliseconds time_limit) = 0;
};

}  // namespace corvel
