#include "platform/win32/win32_seams.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace corvel::win32 {

namespace {

// Owns a search handle from FindFirstFileExW.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : m_handle(handle) {}
    ~FindHandle() {
        if (m_handle != INVALID_HANDLE_VALUE) {
            FindClose(m_handle);
        }
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;

    HANDLE get() const {
        return m_handle;
    }

private:
    HANDLE m_handle;
};

class Win32FileLock : public FileLock {
public:
    explicit Win32FileLock(UniqueHandle file) : m_file(std::move(file)) {}
    ~Win32FileLock() override {
        OVERLAPPED whole{};
        UnlockFileEx(m_file.get(), 0, MAXDWORD, MAXDWORD, &whole);
    }

private:
    UniqueHandle m_file;
};

constexpr DWORD k_share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool is_separator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool is_drive_letter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Length of the part of `path` that names a root and cannot be created: "C:\", "C:", "\",
// "\\server\share\", "\\?\C:\", "\\?\UNC\server\share\", "\\?\Volume{...}\"; 0 when relative.
std::size_t root_length(std::wstring_view path) {
    // Skips one component and the separator after it, starting at `from`.
    auto after_component = [&](std::size_t from) {
        std::size_t at = from;
        while (at < path.size() && !is_separator(path[at])) {
            ++at;
        }
        return at < path.size() ? at + 1 : at;
    };
    if (path.size() >= 4 && is_separator(path[0]) && is_separator(path[1]) &&
        (path[2] == L'?' || path[2] == L'.') && is_separator(path[3])) {
        std::wstring_view rest = path.substr(4);
        if (rest.size() >= 2 && is_drive_letter(rest[0]) && rest[1] == L':') {
            return rest.size() >= 3 && is_separator(rest[2]) ? 7 : 6;
        }
        if (rest.size() >= 4 && (rest[0] == L'U' || rest[0] == L'u') &&
            (rest[1] == L'N' || rest[1] == L'n') && (rest[2] == L'C' || rest[2] == L'c') &&
            is_separator(rest[3])) {
            return after_component(after_component(8));
        }
        return after_component(4);
    }
    if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1])) {
        return after_component(after_component(2));
    }
    if (path.size() >= 2 && is_drive_letter(path[0]) && path[1] == L':') {
        return path.size() >= 3 && is_separator(path[2]) ? 3 : 2;
    }
    if (!path.empty() && is_separator(path[0])) {
        return 1;
    }
    return 0;
}

// `path` without its trailing separators, never shorter than its root.
std::wstring_view without_trailing_separators(std::wstring_view path) {
    std::size_t root = root_length(path);
    std::size_t end = path.size();
    while (end > root && is_separator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

// The folder that holds `path`; empty when `path` is a root or a single relative component.
std::wstring_view parent_of(std::wstring_view path) {
    path = without_trailing_separators(path);
    std::size_t root = root_length(path);
    if (path.size() <= root) {
        return {};
    }
    std::size_t end = path.size();
    while (end > root && !is_separator(path[end - 1])) {
        --end;
    }
    while (end > root && is_separator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

// A path with a NUL would reach Windows cut short and name another file.
std::optional<IoError> refuse_nul(std::string_view path) {
    if (path.find('\0') != std::string_view::npos) {
        return io_error(ERROR_INVALID_NAME);
    }
    return std::nullopt;
}

std::expected<DWORD, IoError> attributes_following_links(const std::wstring& path) {
    // One call answers for everything but links and junctions, which scans meet rarely.
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return std::unexpected(io_error(GetLastError()));
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return attributes;
    }
    // Opening with no access and backup semantics resolves links and junctions and works for
    // folders too; a dangling link fails to open.
    UniqueHandle file(CreateFileW(path.c_str(), 0, k_share_all, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
        return std::unexpected(io_error(GetLastError()));
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.get(), &information)) {
        return std::unexpected(io_error(GetLastError()));
    }
    return information.dwFileAttributes;
}

bool is_directory(const std::wstring& path) {
    auto attributes = attributes_following_links(path);
    return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Creates one folder; an existing folder counts as success. Returns the Windows error code.
DWORD create_one_directory(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr)) {
        return ERROR_SUCCESS;
    }
    DWORD code = GetLastError();
    if ((code == ERROR_ALREADY_EXISTS || code == ERROR_ACCESS_DENIED) && is_directory(path)) {
        return ERROR_SUCCESS;
    }
    return code;
}

}  // namespace

std::expected<FileStatus, IoError> Win32FileSystem::status(std::string_view path) const {
    if (auto refused = refuse_nul(path)) {
        return std::unexpected(*refused);
    }
    auto attributes = attributes_following_links(to_wide(path));
    if (!attributes) {
        return std::unexpected(attributes.error());
    }
    return FileStatus{(*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Directory
                                                                    : FileKind::File};
}

std::expected<std::string, IoError> Win32FileSystem::read_file_prefix(std::string_view path,
                                                                      std::size_t limit) const {
    if (auto refused = refuse_nul(path)) {
        return std::unexpected(*refused);
    }
    UniqueHandle file(CreateFileW(to_wide(path).c_str(), GENERIC_READ, k_share_all, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return std::unexpected(io_error(GetLastError()));
    }
    // Read in growing chunks without asking for the size first: each call costs, and under
    // Wine a small file (a release file during a scan) then takes one read. A read that comes
    // back short has reached the end of the file.
    constexpr DWORD k_first_read = 1 << 12;
    constexpr DWORD k_largest_read = 1 << 20;
    std::string content;
    DWORD ask = static_cast<DWORD>(std::min<std::size_t>(k_first_read, limit));
    while (ask > 0) {
        std::size_t used = content.size();
        content.resize(used + ask);
        DWORD read = 0;
        if (!ReadFile(file.get(), content.data() + used, ask, &read, nullptr)) {
            return std::unexpected(io_error(GetLastError()));
        }
        content.resize(used + read);
        if (read < ask) {
            break;
        }
        ask = static_cast<DWORD>(std::min<std::size_t>(std::min<DWORD>(ask * 2, k_largest_read),
                                                       limit - content.size()));
    }
    return content;
}

std::expected<void, IoError> Win32FileSystem::write_file(std::string_view path,
                                                         std::string_view content) {
    if (auto refused = refuse_nul(path)) {
        return std::unexpected(*refused);
    }
    // OPEN_ALWAYS and an explicit truncation rather than CREATE_ALWAYS, which refuses to
    // overwrite a hidden or system file.
    UniqueHandle file(CreateFileW(to_wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return std::unexpected(io_error(GetLastError()));
    }
    if (!SetEndOfFile(file.get())) {
        return std::unexpected(io_error(GetLastError()));
    }
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), data, chunk, &written, nullptr)) {
            return std::unexpected(io_error(GetLastError()));
        }
        if (written == 0) {
            return std::unexpected(io_error(ERROR_WRITE_FAULT));
        }
        data += written;
        left -= written;
    }
    if (!FlushFileBuffers(file.get())) {
        return std::unexpected(io_error(GetLastError()));
    }
    // A failed close may lose buffered data; report it rather than claim success.
    if (!CloseHandle(file.release())) {
        return std::unexpected(io_error(GetLastError()));
    }
    return {};
}

std::expected<void, IoError> Win32FileSystem::create_directories(std::string_view path) {
    if (auto refused = refuse_nul(path)) {
        return std::unexpected(*refused);
    }
    const std::wstring wide = to_wide(path);
    // Walk up until a folder can be created or already exists, then create the rest downwards.
    std::vector<std::wstring> missing;
    std::wstring current(without_trailing_separators(wide));
    while (true) {
        if (current.empty()) {
            return std::unexpected(io_error(ERROR_PATH_NOT_FOUND));
        }
        DWORD code = create_one_directory(current);
        if (code == ERROR_SUCCESS) {
            break;
        }
        std::wstring parent(parent_of(current));
        if (code != ERROR_PATH_NOT_FOUND || parent.empty()) {
            return std::unexpected(io_error(code));
        }
        missing.push_back(std::move(current));
        current = std::move(parent);
    }
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
        DWORD code = create_one_directory(*folder);
        if (code != ERROR_SUCCESS) {
            return std::unexpected(io_error(code));
        }
    }
    return {};
}

std::expected<void, IoError> Win32FileSystem::replace_file(std::string_view from,
                                                           std::string_view to) {
    if (auto refused = refuse_nul(from).or_else([&] { return refuse_nul(to); })) {
        return std::unexpected(*refused);
    }
    if (!MoveFileExW(to_wide(from).c_str(), to_wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return std::unexpected(io_error(GetLastError()));
    }
    return {};
}

std::expected<void, IoError> Win32FileSystem::remove_file(std::string_view path) {
    if (auto refused = refuse_nul(path)) {
        return std::unexpected(*refused);
    }
    if (!DeleteFileW(to_wide(path).c_str())) {
        return std::unexpected(io_error(GetLastError()));
    }
    return {};
}

std::expected<std::vector<std::string>, IoError> Win32FileSystem::list_directory(
    std::string_view path) const {
    if (auto refused = refuse_nul(path)) {
        return std::unexpected(*refused);
    }
    if (path.empty()) {
        return std::unexpected(io_error(ERROR_PATH_NOT_FOUND));
    }
    const std::wstring folder = to_wide(path);
    std::wstring pattern = folder;
    // "C:" names the current folder of drive C, so "C:*" lists it; elsewhere add a separator.
    bool drive_relative = pattern.size() == 2 && pattern[1] == L':';
    if (!drive_relative && !is_separator(pattern.back())) {
        pattern += L'\\';
    }
    pattern += L'*';

    WIN32_FIND_DATAW entry{};
    FindHandle search(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                       FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    std::vector<std::string> names;
    if (search.get() == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        // A folder without any entry (an empty drive root has not even "." and "..").
        if (code == ERROR_FILE_NOT_FOUND && is_directory(folder)) {
            return names;
        }
        return std::unexpected(io_error(code));
    }
    do {
        std::wstring_view name(entry.cFileName);
        if (name != L"." && name != L"..") {
            names.push_back(from_wide(name));
        }
        // The end of the listing, or an entry that cannot be read: either way the names read so
        // far are kept, so that one failure part-way does not lose the whole folder.
    } while (FindNextFileW(search.get(), &entry));
    return names;
}

std::expected<std::unique_ptr<FileLock>, IoError> Win32FileSystem::lock_exclusive(
    std::string_view path, std::chrono::milliseconds time_limit) {
    if (auto refused = refuse_nul(path)) {
        return std::unexpected(*refused);
    }
    UniqueHandle file(CreateFileW(to_wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, k_share_all,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return std::unexpected(io_error(GetLastError()));
    }
    // Asked again and again rather than waited for: a blocking LockFileEx cannot be given a time
    // limit on a synchronous handle, and a stuck holder must not hang the program.
    constexpr DWORD k_retry_ms = 50;
    auto deadline = std::chrono::steady_clock::now() + time_limit;
    while (true) {
        OVERLAPPED whole{};
        if (LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                       MAXDWORD, &whole)) {
            return std::make_unique<Win32FileLock>(std::move(file));
        }
        DWORD code = GetLastError();
        if (code != ERROR_LOCK_VIOLATION) {
            return std::unexpected(io_error(code));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::unexpected(io_error(static_cast<DWORD>(k_error_lock_timeout)));
        }
        Sleep(k_retry_ms);
    }
}

void Win32FileSystem::pause(int milliseconds) {
    Sleep(static_cast<DWORD>(std::max(milliseconds, 0)));
}

}  // namespace corvel::win32
