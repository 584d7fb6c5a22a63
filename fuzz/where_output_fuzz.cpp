// Any bytes as where.exe's standard output.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "environment/status.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto match =
        corvel::first_where_match(std::string_view(reinterpret_cast<const char*>(data), size));
    if (match && (match->empty() || match->find('\n') != std::string::npos)) {
        std::abort();
    }
    return 0;
}
