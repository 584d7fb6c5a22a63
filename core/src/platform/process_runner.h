#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corvel {

// How much of each output stream of a child is kept: a banner or a where listing is a few
// hundred bytes, and a child that writes without end must not make this process grow with it.
inline constexpr std::size_t k_captured_stream_limit = std::size_t{1} << 20;

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
    // with the null device as standard input and both outputs captured, each up to
    // k_captured_stream_limit bytes (the rest is read and dropped, so the child never blocks).
    // Nothing when it cannot be started, or when it runs past `time_limit` (it is then ended).
    virtual std::optional<CapturedOutput> run_captured(std::string_view program,
                                                       std::span<const std::string> arguments,
                                                       std::chrono::milliseconds time_limit) = 0;
};

}  // namespace corvel
