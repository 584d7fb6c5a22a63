// Any bytes as a JDK release file.
#include <cstdint>
#include <string_view>

#include "java/probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvel::parse_release_file(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
