#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/io_error.h"

namespace corvel {

enum class FileKind { File, Directory };

// The code lock_exclusive reports when another process held the lock for the whole time limit
// (ERROR_TIMEOUT).
inline constexpr std::int32_t k_error_lock_timeout = 1460;

struct FileStatus {
    FileKind kind = FileKind::File;
};

// Held while an exclusive lock on a file is owned; destroying it releases the lock.
class FileLock {
public:
    virtual ~FileLock() = default;
};

// Every file and folder access of the program goes through this seam, so that the configuration
// store, validation and discovery run against an in-memory tree in unit tests.
// Paths are UTF-8 Windows paths; relative paths resolve against the current folder.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Metadata of `path`, following symbolic links and junctions; an error when it cannot be
    // examined (missing, refused, dangling link).
    virtual std::expected<FileStatus, IoError> status(std::string_view path) const = 0;

    // The first `limit` bytes of a file as raw bytes (all of them when the file is shorter), read
    // in bounded chunks, so that a huge file or an endless device costs no more than the limit.
    virtual std::expected<std::string, IoError> read_file_prefix(std::string_view path,
                                                                 std::size_t limit) const = 0;

    // The whole content of a file as raw bytes.
    std::expected<std::string, IoError> read_file(std::string_view path) const {
        return read_file_prefix(path, std::numeric_limits<std::size_t>::max());
    }

    // Creates or truncates `path` and writes `content`, flushed to the disk before returning.
    virtual std::expected<void, IoError> write_file(std::string_view path,
                                                    std::string_view content) = 0;

    // Creates `path` and every missing ancestor; an existing folder is not an error.
    virtual std::expected<void, IoError> create_directories(std::string_view path) = 0;

    // Moves `from` over `to` in one step, replacing `to` if it exists and flushing the move.
    virtual std::expected<void, IoError> replace_file(std::string_view from,
                                                      std::string_view to) = 0;

    // Deletes a file.
    virtual std::expected<void, IoError> remove_file(std::string_view path) = 0;

    // Names of the entries of a folder (without "." and ".."), in listing order; names that are
    // not valid UTF-16 come back with U+FFFD in place of each unpaired surrogate. A listing that
    // fails part-way gives the names read until then.
    virtual std::expected<std::vector<std::string>, IoError> list_directory(
        std::string_view path) const = 0;

    // Opens or creates `path` and waits up to `time_limit` for an exclusive lock on it; an error
    // with code k_error_lock_timeout when another process held it all that time. The operating
    // system drops the lock when the process ends, so a crash never leaves it held.
    virtual std::expected<std::unique_ptr<FileLock>, IoError> lock_exclusive(
        std::string_view path, std::chrono::milliseconds time_limit) = 0;

    // Waits a short while before an operation is tried again (a file briefly held by another
    // program); the in-memory file system only records the wait.
    virtual void pause(int milliseconds) = 0;
};

}  // namespace corvel
