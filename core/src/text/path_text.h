#pragma once

#include <string>
#include <string_view>

namespace corvel {

// Joins two path parts the Windows way: a backslash between them unless `left` already ends
// with a backslash or a slash (or is empty).
std::string join_path(std::string_view left, std::string_view right);

// Whether `path` names the same folder whatever the current folder or drive of the program that
// reads it: a drive letter, a colon and a separator ("C:\..."), or "\\server\share...". Device
// paths ("\\?\C:\...", "\\.\C:\...") are not: other programs do not read them as folders.
bool is_fully_qualified_path(std::string_view path);

// Whether `path` is a device path ("\\?\C:\...", "\\.\C:\...", either separator).
bool is_device_path(std::string_view path);

// `path` without any trailing backslashes and slashes, except that a drive root keeps its first
// one ("J:\\" gives "J:\", never the drive-relative "J:"); a text of separators only becomes empty.
std::string_view trim_trailing_separators(std::string_view path);

// The bin folder of the JDK at `root`, for `use` and export-shell alike: `root` without any
// trailing backslashes and slashes, then "\bin" ("C:/jdk\bin" for "C:/jdk/", "J:\bin" for the
// drive root "J:/", "\bin" for "\").
std::string jdk_bin_folder(std::string_view root);

}  // namespace corvel
