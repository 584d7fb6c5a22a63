#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace corvel {

enum class CheckStatus { Ok, Warning, Error };

// One finding of the doctor.
struct DiagnosticResult {
    std::string name;
    std::string message;
    std::optional<std::string> hint;  // never on an Ok result
    CheckStatus status = CheckStatus::Ok;

    bool operator==(const DiagnosticResult&) const = default;
};

// Checks the configuration, the user JAVA_HOME, java and javac on PATH, every registered JDK
// and their agreement, in that order; never fails.
std::vector<DiagnosticResult> run_diagnostics(const Platform& platform);

}  // namespace corvel
