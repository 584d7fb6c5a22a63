// Any Path text and bin folders: the rewrite starts with the new bin entry and keeps every
// entry that is neither empty nor a registered bin folder, in order.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "environment/path_rewrite.h"
#include "text/text.h"

namespace {

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Input: path text, '\n', new bin entry, '\n', registered bins separated by '\n'.
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> fields = split(input, '\n');
    if (fields.size() < 2) {
        return 0;
    }
    const std::string& current = fields[0];
    const std::string& new_bin = fields[1];
    std::vector<std::string> registered(fields.begin() + 2, fields.end());

    std::string rewritten = corvel::rewrite_path(current, new_bin, registered);
    if (!rewritten.starts_with(new_bin)) {
        std::abort();
    }
    // Every entry that must survive is still there, in the same order.
    std::string lowered_new = corvel::to_lower(new_bin);
    std::vector<std::string> lowered_registered;
    for (const std::string& bin : registered) {
        lowered_registered.push_back(corvel::to_lower(bin));
    }
    std::vector<std::string> expected;
    for (const std::string& piece : split(current, ';')) {
        std::string trimmed(corvel::trim_whitespace(piece));
        std::string lowered = corvel::to_lower(trimmed);
        bool registered_bin = lowered == lowered_new;
        for (const std::string& bin : lowered_registered) {
            registered_bin = registered_bin || lowered == bin;
        }
        if (!trimmed.empty() && !registered_bin) {
            expected.push_back(trimmed);
        }
    }
    std::string rebuilt = new_bin;
    for (const std::string& entry : expected) {
        rebuilt += ";" + entry;
    }
    if (rewritten != rebuilt) {
        std::abort();
    }
    return 0;
}
