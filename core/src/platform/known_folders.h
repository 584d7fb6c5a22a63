#pragma once

#include <optional>
#include <string>

namespace corvel {

// The shell's known-folder service; behind a seam so that the configuration folder can be
// placed anywhere (or be missing) in unit tests.
class KnownFolders {
public:
    virtual ~KnownFolders() = default;

    // The user's roaming application-data folder; nothing when the lookup fails.
    virtual std::optional<std::string> roaming_app_data() const = 0;
};

}  // namespace corvel
