#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvel {

// What the running process knows about itself: its environment variables, its token and the
// system folder. A seam so that colour rules, discovery and elevation are testable on Linux.
class ProcessEnvironment {
public:
    virtual ~ProcessEnvironment() = default;

    // The process's own variable `name`; nothing when unset or not valid UTF-16.
    // A variable set to the empty text gives the empty text.
    virtual std::optional<std::string> variable(std::string_view name) const = 0;

    // Whether the token is an effective member of the local Administrators group.
    virtual bool is_elevated() const = 0;

    // The Windows system folder (GetSystemDirectoryW); nothing when it cannot be found.
    virtual std::optional<std::string> system_directory() const = 0;
};

}  // namespace corvel
