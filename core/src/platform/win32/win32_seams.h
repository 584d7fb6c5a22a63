#pragma once

// The Windows implementations of the platform seams, one per file.

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace corvel::win32 {

// UTF-8 to a NUL-terminated wide string for a Windows call.
std::wstring to_wide(std::string_view text);
// A wide string from Windows to UTF-8, unpaired surrogates as U+FFFD.
std::string from_wide(std::wstring_view text);
// The system's message for `code`, trailing white space removed.
std::string system_message(DWORD code);
// An IoError for `code` with the system's message.
IoError io_error(DWORD code);

// A function of a DLL from the system folder, loaded on first use; nullptr when unavailable.
// The shell and window DLLs are loaded this way because every command would otherwise pay
// for loading them at start-up, and only `use` and the configuration lookup need them.
template <class Function>
Function* system_function(const wchar_t* dll, const char* name) {
    HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Owns a kernel handle and closes it once; both nullptr and INVALID_HANDLE_VALUE mean empty.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : m_handle(handle) {}
    ~UniqueHandle() {
        reset();
    }
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    bool valid() const {
        return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE;
    }
    HANDLE get() const {
        return m_handle;
    }
    // Gives up ownership without closing.
    HANDLE release() {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void reset(HANDLE handle = nullptr) {
        if (valid()) {
            CloseHandle(m_handle);
        }
        m_handle = handle;
    }

private:
    HANDLE m_handle = nullptr;
};

class Win32FileSystem : public FileSystem {
public:
    std::expected<FileStatus, IoError> status(std::string_view path) const override;
    std::expected<std::string, IoError> read_file_prefix(std::string_view path,
                                                         std::size_t limit) const override;
    std::expected<void, IoError> write_file(std::string_view path,
                                            std::string_view content) override;
    std::expected<void, IoError> create_directories(std::string_view path) override;
    std::expected<void, IoError> replace_file(std::string_view from, std::string_view to) override;
    std::expected<void, IoError> remove_file(std::string_view path) override;
    std::expected<std::vector<std::string>, IoError> list_directory(
        std::string_view path) const override;
    std::expected<std::unique_ptr<FileLock>, IoError> lock_exclusive(
        std::string_view path, std::chrono::milliseconds time_limit) override;
    void pause(int milliseconds) override;
};

class Win32RegistryStore : public RegistryStore {
public:
    std::expected<std::unique_ptr<RegistryKey>, std::uint32_t> open_key(
        RegistryRoot root, std::string_view subkey, std::uint32_t access) override;
    std::string error_message(std::uint32_t code) const override;
    void broadcast_environment_change() override;
};

class Win32ProcessRunner : public ProcessRunner {
public:
    std::optional<CapturedOutput> run_captured(std::string_view program,
                                               std::span<const std::string> arguments,
                                               std::chrono::milliseconds time_limit) override;
};

// Remembers the folder once found: a command asks for it at every load and save, and each
// lookup writes the shell's folder keys in the registry again.
class Win32KnownFolders : public KnownFolders {
public:
    std::optional<std::string> roaming_app_data() const override;

private:
    mutable std::optional<std::string> m_roaming_app_data;
};

class Win32ProcessEnvironment : public ProcessEnvironment {
public:
    std::optional<std::string> variable(std::string_view name) const override;
    bool is_elevated() const override;
    std::optional<std::string> system_directory() const override;
    std::string decode_oem(std::string_view bytes) const override;
};

// Standard streams: WriteConsoleW for a console, raw bytes for a file or pipe. Standard output
// is kept in a buffer until flush() so that long listings cost few system calls; standard error
// pushes it out first and is written at once.
class Win32Console : public Console {
public:
    Win32Console();
    ~Win32Console() override;

    void write(StandardStream stream, std::string_view text) override;
    void flush(StandardStream stream) override;
    bool is_terminal(StandardStream stream) const override;
    void enable_virtual_terminal() override;
    std::optional<IoError> write_failure(StandardStream stream) const override;
    std::expected<std::string, std::string> read_line(std::size_t limit) override;

private:
    struct Stream {
        HANDLE handle = nullptr;
        bool is_console = false;
        std::string pending;
        DWORD failure = ERROR_SUCCESS;
    };
    Stream& stream_of(StandardStream stream);
    const Stream& stream_of(StandardStream stream) const;

    Stream m_output;
    Stream m_error;
    std::string m_input_buffer;  // bytes read from piped input but not yet returned
    bool m_input_ended = false;
};

}  // namespace corvel::win32
