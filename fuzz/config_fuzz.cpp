// Any bytes as config.json text: parsing either yields a configuration that writes back and
// re-reads unchanged, or an error description; never a crash.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = corvel::parse_config(text);
    if (!parsed) {
        return 0;
    }
    std::string written = corvel::serialize_config(*parsed);
    auto reread = corvel::parse_config(written);
    if (!reread || !(*reread == *parsed)) {
        std::abort();
    }
    return 0;
}
