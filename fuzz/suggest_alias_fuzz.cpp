// Any folder text and optional version: a non-empty alias starting with "java".
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "discovery/discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Input: folder text, then optionally '\n' and a version text.
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t split = input.find('\n');
    std::string_view folder = input.substr(0, split);
    std::optional<std::string> version;
    if (split != std::string_view::npos) {
        version = std::string(input.substr(split + 1));
    }
    std::string alias = corvel::suggest_alias(folder, version);
    if (!alias.starts_with("java")) {
        std::abort();
    }
    return 0;
}
