#include "config/core_error.h"

#include <utility>

namespace corvel {

CoreError::CoreError(ErrorKind kind, std::string payload)
    : m_kind(kind), m_payload(std::move(payload)) {}

CoreError CoreError::config(std::string message) {
    return {ErrorKind::Config, std::move(message)};
}
CoreError CoreError::invalid_jdk_path(std::string message) {
    return {ErrorKind::InvalidJdkPath, std::move(message)};
}
CoreError CoreError::duplicate_alias(std::string alias) {
    return {ErrorKind::DuplicateAlias, std::move(alias)};
}
CoreError CoreError::alias_not_found(std::string alias) {
    return {ErrorKind::AliasNotFound, std::move(alias)};
}
CoreError CoreError::registry(std::string message) {
    return {ErrorKind::Registry, std::move(message)};
}
CoreError CoreError::permission_denied(std::string message) {
    return {ErrorKind::PermissionDenied, std::move(message)};
}
CoreError CoreError::io(IoError error) {
    return {ErrorKind::Io, error.to_text()};
}
CoreError CoreError::json(std::string description) {
    return {ErrorKind::Json, std::move(description)};
}
CoreError CoreError::other(std::string message) {
    return {ErrorKind::Other, std::move(message)};
}

std::string CoreError::to_text() const {
    switch (m_kind) {
        case ErrorKind::Config:
            return "Configuration error: " + m_payload;
        case ErrorKind::InvalidJdkPath:
            return "Invalid JDK path: " + m_payload;
        case ErrorKind::DuplicateAlias:
            return "Alias already exists: '" + m_payload + "'";
        case ErrorKind::AliasNotFound:
            return "Alias not found: '" + m_payload + "'";
        case ErrorKind::Registry:
            return "Registry error: " + m_payload;
        case ErrorKind::PermissionDenied:
            return "Permission denied: " + m_payload;
        case ErrorKind::Io:
            return "IO error: " + m_payload;
        case ErrorKind::Json:
            return "JSON parse error: " + m_payload;
        case ErrorKind::Other:
            return m_payload;
    }
    return m_payload;
}

std::string CoreError::debug_text() const {
    static constexpr const char* k_names[] = {"Config",
                                              "InvalidJdkPath",
                                              "DuplicateAlias",
                                              "AliasNotFound",
                                              "Registry",
                                              "PermissionDenied",
                                              "Io",
                                              "Json",
                                              "Other"};
    return std::string(k_names[static_cast<int>(m_kind)]) + "(\"" + m_payload + "\")";
}

}  // namespace corvel
