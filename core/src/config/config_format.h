#pragma once

#include <expected>
#include <string>

#include "config/config.h"

// Shared by the reader, the writer and the file handling of config.json; not for other modules.

namespace corvel {

// The JSON library's message without its "[json.exception.type_error.316] " tag.
std::string without_exception_tag(std::string message);

// The exact bytes save_config writes, or the library's description of the first text in
// `config` that is not UTF-8.
std::expected<std::string, std::string> write_config_text(const Config& config);

}  // namespace corvel
