#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "platform/io_error.h"

namespace corvel {

// The kinds of failure a core operation reports, in their fixed order.
enum class ErrorKind {
    Config,
    InvalidJdkPath,
    DuplicateAlias,
    AliasNotFound,
    Registry,
    PermissionDenied,
    Io,
    Json,
    Other,
};

// The one error type of the core: a kind with its payload (a message, an alias, an I/O error
// or the JSON library's description). Movable, not copyable.
class CoreError {
public:
    static CoreError config(std::string message);
    static CoreError invalid_jdk_path(std::string message);
    static CoreError duplicate_alias(std::string alias);
    static CoreError alias_not_found(std::string alias);
    static CoreError registry(std::string message);
    static CoreError permission_denied(std::string message);
    static CoreError io(IoError error);
    static CoreError json(std::string description);
    static CoreError other(std::string message);

    CoreError(CoreError&&) noexcept = default;
    CoreError& operator=(CoreError&&) noexcept = default;
    CoreError(const CoreError&) = delete;
    CoreError& operator=(const CoreError&) = delete;

    ErrorKind kind() const {
        return m_kind;
    }

    // The payload as text: the message, the alias, or the wrapped error's rendering.
    const std::string& payload() const {
        return m_payload;
    }

    // What the user sees, e.g. "Alias not found: 'java21'"; no trailing line end.
    std::string to_text() const;

    // For developers: the kind's name and the payload, e.g. AliasNotFound("java21").
    std::string debug_text() const;

private:
    CoreError(ErrorKind kind, std::string payload);

    ErrorKind m_kind;
    std::string m_payload;
};

template <class T>
using CoreResult = std::expected<T, CoreError>;

}  // namespace corvel
