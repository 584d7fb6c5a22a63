#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/config.h"

namespace corvel {

// The bin folder of every registered JDK (jdk_bin_folder of its path), and for a path ending in a
// separator also the forms earlier versions wrote for it ("D:\jdk22\\bin", "J:/bin").
std::vector<std::string> registered_bin_dirs(const Config& config);

// `current` with `new_bin` first and every empty entry, every registered bin folder and any
// earlier copy of `new_bin` taken out (Unicode lower-case comparison, entries trimmed).
std::string rewrite_path(std::string_view current, std::string_view new_bin,
                         const std::vector<std::string>& registered_bins);

}  // namespace corvel
