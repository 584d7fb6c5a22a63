// Any bytes as what a launcher printed for -version.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "java/probe.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto info =
        corvel::parse_version_banner(std::string_view(reinterpret_cast<const char*>(data), size));
    if (info && (!corvel::is_valid_utf8(info->version) || !corvel::is_valid_utf8(info->vendor))) {
        std::abort();
    }
    return 0;
}
