#pragma once

#include <string_view>

#include "config/core_error.h"
#include "platform/platform.h"

namespace corvel {

// Whether `path` is a full JDK root: it exists, is a folder, and holds bin\java.exe and
// bin\javac.exe. InvalidJdkPath naming the first failed check otherwise. Reads metadata only.
CoreResult<void> validate_jdk_path(const Platform& platform, std::string_view path);

}  // namespace corvel
