#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvel {

// What the running process knows about itself: its environment variables, its token, the
// system folder and the OEM code page. A seam so that colour rules, discovery, elevation and
// the reading of console programs' output are testable on Linux.
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

    // `bytes` decoded from the system's OEM code page (what console programs write to a pipe) as
    // UTF-8; what the code page cannot map becomes U+FFFD or the code page's default character.
    virtual std::string decode_oem(std::string_view bytes) const = 0;
};

}  // namespace corvel
