// Any configuration, its texts made of any bytes (also bytes that are not UTF-8): the writer
// produces exactly what the JSON library's dump of the same document produces, replacement
// characters included.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>

#include "config/config.h"

namespace {

using OrderedJson = nlohmann::ordered_json;

OrderedJson optional_json(const std::optional<std::string>& text) {
    return text ? OrderedJson(*text) : OrderedJson(nullptr);
}

std::string library_dump(const corvel::Config& config) {
    OrderedJson versions = OrderedJson::object();
    for (const auto& [alias, entry] : config.versions) {
        OrderedJson record = OrderedJson::object();
        record["path"] = entry.path;
        record["detected_version"] = optional_json(entry.detected_version);
        record["vendor"] = optional_json(entry.vendor);
        versions[alias] = std::move(record);
    }
    OrderedJson top = OrderedJson::object();
    top["current"] = optional_json(config.current);
    top["versions"] = std::move(versions);
    return top.dump(2, ' ', false, OrderedJson::error_handler_t::replace);
}

std::optional<std::string> maybe_text(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) {
        return std::nullopt;
    }
    return input.ConsumeRandomLengthString(64);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    corvel::Config config;
    config.current = maybe_text(input);
    while (input.remaining_bytes() > 0) {
        std::string alias = input.ConsumeRandomLengthString(32);
        corvel::JdkEntry entry;
        entry.path = input.ConsumeRandomLengthString(64);
        entry.detected_version = maybe_text(input);
        entry.vendor = maybe_text(input);
        config.versions.insert_or_assign(std::move(alias), std::move(entry));
    }
    if (corvel::serialize_config(config) != library_dump(config)) {
        std::abort();
    }
    return 0;
}
